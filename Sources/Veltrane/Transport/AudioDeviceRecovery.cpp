// When the audio device goes away or changes, playback stops where it was, the engine is rebuilt once
// the burst of changes has settled, and playback starts again from there if it was running.

#include "Veltrane/Model/AppModel.hpp"

#include <QPointer>

#include <algorithm>

namespace veltrane {

namespace {

/// Changes arrive in bursts (a device going and another coming): the engine is rebuilt this long after
/// the last one.
constexpr std::chrono::milliseconds audioRecoveryDelay{400};

} // namespace

void AppModel::audioConfigurationChanged()
{
    // A change while a recovery waits keeps an earlier decision to play again.
    resumeAfterAudioRecovery_ = resumeAfterAudioRecovery_ || isPlaying_ || isPreparingPlayback_;
    if (isPlaying_ || isPreparingPlayback_) {
        const int row = playbackUI_.row.value_or(selectedRow_);
        stop();
        // The cursor rests where playback was, so that playing again goes on from there.
        const auto* pattern = currentPattern();
        setSelectedRow(std::clamp(row, 0, pattern ? std::max(pattern->rows - 1, 0) : 0));
    }
    if (audioRecoveryTask_) audioRecoveryTask_->cancel();
    setIsRecoveringAudio(true);
    audioRecoveryTask_ = scheduler_->after(audioRecoveryDelay, [model = QPointer<AppModel>(this)] {
        if (model) model->recoverAudio();
    });
}

void AppModel::recoverAudio()
{
    audioRecoveryTask_.reset();
    try {
        audio_->recoverAfterConfigurationChange();
    } catch (const std::exception& failure) {
        setIsRecoveringAudio(false);
        setError("The audio device is unavailable. Reconnect it or choose another output, then press Play. " +
                 std::string(failure.what()));
        return;
    }
    setIsRecoveringAudio(false);
    if (resumeAfterAudioRecovery_) {
        resumeAfterAudioRecovery_ = false;
        play();
    }
}

} // namespace veltrane
