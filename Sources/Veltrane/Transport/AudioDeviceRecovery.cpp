// When the audio device goes away or changes, playback stops where it was, the engine is rebuilt once
// the burst of changes has settled, and playback starts again from there if it was running.

#include "Veltrane/Transport/Transport.hpp"

#include "Veltrane/Model/AppModel.hpp"

#include <QPointer>

#include <algorithm>

namespace veltrane {

namespace {

/// Changes arrive in bursts (a device going and another coming): the engine is rebuilt this long after
/// the last one.
constexpr std::chrono::milliseconds audioRecoveryDelay{400};

} // namespace

void Transport::audioConfigurationChanged()
{
    AppModel& model = model_;
    // A change while a recovery waits keeps an earlier decision to play again.
    resumeAfterAudioRecovery_ = resumeAfterAudioRecovery_ || model.isPlaying_ || model.isPreparingPlayback_;
    if (model.isPlaying_ || model.isPreparingPlayback_) {
        const int row = model.playbackUI_.row.value_or(model.selectedRow_);
        stop();
        // The cursor rests where playback was, so that playing again goes on from there.
        const auto* pattern = model.currentPattern();
        model.setSelectedRow(std::clamp(row, 0, pattern ? std::max(pattern->rows - 1, 0) : 0));
    }
    if (audioRecoveryTask_) audioRecoveryTask_->cancel();
    model.setIsRecoveringAudio(true);
    audioRecoveryTask_ = model.scheduler_->after(audioRecoveryDelay, [model = QPointer<AppModel>(&model_)] {
        if (model) model->transport_->recoverAudio();
    });
}

void Transport::recoverAudio()
{
    AppModel& model = model_;
    audioRecoveryTask_.reset();
    try {
        model.audio_->recoverAfterConfigurationChange();
    } catch (const std::exception& failure) {
        model.setIsRecoveringAudio(false);
        model.setError("The audio device is unavailable. Reconnect it or choose another output, then press Play. " +
                       std::string(failure.what()));
        return;
    }
    model.setIsRecoveringAudio(false);
    if (resumeAfterAudioRecovery_) {
        resumeAfterAudioRecovery_ = false;
        play();
    }
}

} // namespace veltrane
