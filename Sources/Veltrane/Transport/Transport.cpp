// Play and stop, the playback position loop and the meter polling loop. The engine plays; the transport
// decides what, follows where it is and keeps the editor in step.

#include "Veltrane/Transport/Transport.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Transport/RepeatingTask.hpp"

#include "VeltraneCore/MIDIRealtime/MIDIClockSend.hpp"

#include <QPointer>

#include <algorithm>
#include <set>

namespace veltrane {

namespace {

using namespace std::chrono_literals;

/// How often the position loop follows the engine, and how often it looks while the engine has not
/// rendered the playback's start yet.
constexpr auto positionInterval = 8ms;
constexpr auto positionWaitInterval = 4ms;
/// How often the level meters are read.
constexpr auto meterInterval = 33ms;
/// Count-in beats with the metronome and count-in on.
constexpr int countInBeatCount = 4;

/// The index of the last row that has started by `position`; -1 before the first.
int playingRowIndex(const PlaybackTimeline& timeline, std::int64_t position)
{
    const auto after = std::upper_bound(timeline.rows.begin(), timeline.rows.end(), position,
                                        [](std::int64_t frame, const TimelineRow& row) { return frame < row.startFrame; });
    return static_cast<int>(after - timeline.rows.begin()) - 1;
}

int songBlockCount(const Project& project)
{
    return project.arrangement ? static_cast<int>(project.arrangement->blocks.size())
                               : static_cast<int>(project.order.size());
}

} // namespace

Transport::Transport(AppModel& model) : model_(model) {}

void Transport::start()
{
    meterTask_ = repeatTask(model_.scheduler_, 0ms, [model = QPointer<AppModel>(&model_)]() -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        model->meters_ = model->audio_->meters();
        return meterInterval;
    });

    // The connection calls these on the main thread, in the order the events arrived.
    MIDIConnection& midi = *model_.midi_;
    midi.onNoteOn = [this](int note, int velocity) {
        if (model_.midiEnabled_) handleMIDINoteOn(note, velocity);
    };
    midi.onNoteOff = [this](int note) {
        if (model_.midiEnabled_) handleMIDINoteOff(note);
    };
    midi.onClock = [this](std::uint64_t time) { receiveMIDIClock(time); };
    midi.onStart = [this](std::uint64_t) { receiveMIDIStart(); };
    midi.onContinue = [this](std::uint64_t) { receiveMIDIContinue(); };
    midi.onStop = [this](std::uint64_t) { receiveMIDIStop(); };
    midi.onSongPosition = [this](int position) { receiveMIDISongPosition(position); };

    // The engine calls this from its pump on the main thread; the model's destructor takes it away.
    model_.audio_->onConfigurationChange = [this] { audioConfigurationChanged(); };
}

void Transport::setActiveTimeline(std::shared_ptr<const PlaybackTimeline> timeline)
{
    const bool same = timeline == activeTimeline_ || (timeline && activeTimeline_ && *timeline == *activeTimeline_);
    activeTimeline_ = std::move(timeline);
    if (!same) emit model_.activeTimelineChanged();
}

void Transport::setPlaybackBaseBPM(double value)
{
    if (playbackBaseBPM_ == value) return;
    playbackBaseBPM_ = value;
    emit model_.playbackBaseBPMChanged();
}

std::optional<std::int64_t> Transport::currentFrame()
{
    const auto frame = model_.audio_->playingFrame();
    if (!frame) return std::nullopt;
    return std::max<std::int64_t>(*frame, 0);
}

void Transport::play()
{
    AppModel& model = model_;
    if (model.isPlaying_ || model.isPreparingPlayback_) return;

    Project copy = model.project_;
    if (model.midiClockReceive_ && model.externalClockBPM_) copy.bpm = *model.externalClockBPM_;

    PlaybackScope scope = PatternScope{model.patternIndex_};
    if (model.songMode_) {
        const bool loopRegion = model.loopEnabled_ && copy.arrangement && copy.arrangement->loop.enabled;
        scope = loopRegion ? PlaybackScope{SongLoopScope{}} : PlaybackScope{SongScope{}};
    }
    // Where playback starts, taken now: the song position sent to clock receivers must be this place,
    // wherever the cursor has moved by the time the engine starts.
    const int startRow = model.selectedRow_;
    const int startBlock = model.songMode_ ? model.selectedSongBlock_ : 0;
    auto timeline = std::make_shared<const PlaybackTimeline>(
        playbackTimeline(copy, scope, startRow, startBlock, model.audio_->outputSampleRate(), model.loopEnabled_));
    if (timeline->totalFrames < 1) return;

    model.setIsPreparingPlayback(true);
    PlaybackRequest request{
        .project = std::move(copy),
        .timeline = std::move(timeline),
        .looping = model.loopEnabled_,
        .metronome = model.metronome_,
        .countInBeats = model.metronome_ && model.countIn_ ? countInBeatCount : 0,
        .startBlock = startBlock,
        .startRow = startRow,
    };
    setPlaybackBaseBPM(request.project.bpm);

    // A preparation that `stop()` cancels never runs: the scheduler drops a cancelled task.
    prepareTask_ = model.scheduler_->after(0ms, [model = QPointer<AppModel>(&model_), request = std::move(request)] {
        if (model) model->transport_->preparePlayback(request);
    });
}

void Transport::preparePlayback(const PlaybackRequest& request)
{
    AppModel& model = model_;
    prepareTask_.reset();
    const auto failures = model.audio_->prepareAudioUnits(request.project, *request.timeline);
    std::uint64_t startTime = 0;
    try {
        startTime = model.audio_->schedule(*request.timeline, request.project, request.looping, request.metronome,
                                           request.countInBeats);
    } catch (const std::exception& failure) {
        model.setIsPreparingPlayback(false);
        suppressNextMIDITransportSend_ = false;
        model.setError(std::string(failure.what()));
        return;
    }
    if (model.midiClockSend_ && !suppressNextMIDITransportSend_) {
        startMIDIClock(startTime, request.project.bpm, request.startBlock, request.startRow);
    }
    suppressNextMIDITransportSend_ = false;

    if (!failures.empty()) {
        auto unavailable = model.unavailableAudioUnitIDs_;
        std::set<std::string> names;
        for (const auto& failure : failures) {
            unavailable.insert(failure.reference.id());
            names.insert(failure.reference.name);
        }
        model.setUnavailableAudioUnitIDs(std::move(unavailable));
        std::string list;
        for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
        model.setError("Playback continues without unavailable Audio Units: " + list + ".");
    }

    scheduledLooping_ = request.looping;
    model.setIsPreparingPlayback(false);
    model.setIsPlaying(true);
    setActiveTimeline(request.timeline);
    playTask_ = repeatTask(model.scheduler_, 0ms, [model = QPointer<AppModel>(&model_), timeline = request.timeline,
                                                   lastRowIndex = -1]() mutable -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        return model->transport_->positionPass(*timeline, lastRowIndex);
    });
}

std::optional<std::chrono::milliseconds> Transport::positionPass(const PlaybackTimeline& timeline, int& lastRowIndex)
{
    AppModel& model = model_;
    const auto frame = currentFrame();
    if (!frame) return positionWaitInterval;

    // Playback started without looping has only its one pass queued: switching Loop on meanwhile
    // cannot make it go round, so it still ends at its end.
    const bool looping = scheduledLooping_ && model.loopEnabled_;
    if (!looping && *frame >= timeline.totalFrames) {
        stop();
        return std::nullopt;
    }
    const std::int64_t position = looping ? *frame % timeline.totalFrames : *frame;
    model.audio_->updateAutomatedBuses(model.project_, timeline, position);

    const int index = playingRowIndex(timeline, position);
    if (index >= 0 && index != lastRowIndex) {
        const TimelineRow& row = timeline.rows[static_cast<std::size_t>(index)];
        clearReplaceRowIfNeeded(*frame, index);
        model.playbackUI_.row = row.row;
        // The song may have been edited since the timeline was built: the editor never follows playback
        // onto a block or a pattern that is no longer there.
        if (row.orderPosition && *row.orderPosition != model.selectedSongBlock_ &&
            *row.orderPosition < songBlockCount(model.project_)) {
            model.setSelectedSongBlock(*row.orderPosition);
        }
        if (row.patternIndex != model.patternIndex_ && row.patternIndex >= 0 &&
            row.patternIndex < static_cast<int>(model.project_.patterns.size())) {
            model.setPatternIndex(row.patternIndex);
            model.setSelectedRow(0);
        }
        lastRowIndex = index;
    }
    return positionInterval;
}

void Transport::stop()
{
    AppModel& model = model_;
    finishActiveMIDINotes(currentFrame());
    if (prepareTask_) {
        // The cancelled preparation will not clear what a received Start or Continue set for it.
        prepareTask_->cancel();
        prepareTask_.reset();
        suppressNextMIDITransportSend_ = false;
    }
    if (playTask_) {
        playTask_->cancel();
        playTask_.reset();
    }
    setActiveTimeline(nullptr);
    model.setIsPreparingPlayback(false);
    model.setIsPlaying(false);
    model.playbackUI_.row.reset();
    model.setQueuedPatternIndex(std::nullopt);
    model.audio_->stop();
    if (midiClockTask_) {
        midiClockTask_->cancel();
        midiClockTask_.reset();
    }
    if (model.midiClockSend_ && !handlingExternalTransport_) {
        // The clocks queued ahead must not reach anyone after the Stop.
        model.midi_->flush();
        const std::uint8_t stopMessage = midiStop;
        sendMIDI(std::span(&stopMessage, 1), 0);
    }
}

} // namespace veltrane
