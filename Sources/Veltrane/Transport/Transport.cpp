// Play and stop, the playback position loop and the meter polling loop: the model's side of the
// transport. The engine plays; the model decides what, follows where it is and keeps the editor in step.

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

void AppModel::startTransport()
{
    meterTask_ = repeatTask(scheduler_, 0ms, [model = QPointer<AppModel>(this)]() -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        model->meters_ = model->audio_->meters();
        return meterInterval;
    });

    // The connection calls these on the main thread, in the order the events arrived.
    midi_->onNoteOn = [this](int note, int velocity) {
        if (midiEnabled_) handleMIDINoteOn(note, velocity);
    };
    midi_->onNoteOff = [this](int note) {
        if (midiEnabled_) handleMIDINoteOff(note);
    };
    midi_->onClock = [this](std::uint64_t time) { receiveMIDIClock(time); };
    midi_->onStart = [this](std::uint64_t) { receiveMIDIStart(); };
    midi_->onContinue = [this](std::uint64_t) { receiveMIDIContinue(); };
    midi_->onStop = [this](std::uint64_t) { receiveMIDIStop(); };
    midi_->onSongPosition = [this](int position) { receiveMIDISongPosition(position); };

    // The engine calls this from its pump on the main thread; the model's destructor takes it away.
    audio_->onConfigurationChange = [this] { audioConfigurationChanged(); };
}

void AppModel::setActiveTimeline(std::shared_ptr<const PlaybackTimeline> timeline)
{
    const bool same = timeline == activeTimeline_ || (timeline && activeTimeline_ && *timeline == *activeTimeline_);
    activeTimeline_ = std::move(timeline);
    if (!same) emit activeTimelineChanged();
}

void AppModel::setPlaybackBaseBPM(double value) { assign(playbackBaseBPM_, value, &AppModel::playbackBaseBPMChanged); }

std::optional<std::int64_t> AppModel::currentTransportFrame()
{
    const auto frame = audio_->playingFrame();
    if (!frame) return std::nullopt;
    return std::max<std::int64_t>(*frame, 0);
}

void AppModel::play()
{
    if (isPlaying_ || isPreparingPlayback_) return;

    Project copy = project_;
    if (midiClockReceive_ && externalClockBPM_) copy.bpm = *externalClockBPM_;

    PlaybackScope scope = PatternScope{patternIndex_};
    if (songMode_) {
        const bool loopRegion = loopEnabled_ && copy.arrangement && copy.arrangement->loop.enabled;
        scope = loopRegion ? PlaybackScope{SongLoopScope{}} : PlaybackScope{SongScope{}};
    }
    // Where playback starts, taken now: the song position sent to clock receivers must be this place,
    // wherever the cursor has moved by the time the engine starts.
    const int startRow = selectedRow_;
    const int startBlock = songMode_ ? selectedSongBlock_ : 0;
    auto timeline = std::make_shared<const PlaybackTimeline>(
        playbackTimeline(copy, scope, startRow, startBlock, audio_->outputSampleRate(), loopEnabled_));
    if (timeline->totalFrames < 1) return;

    setIsPreparingPlayback(true);
    PlaybackRequest request{
        .project = std::move(copy),
        .timeline = std::move(timeline),
        .looping = loopEnabled_,
        .metronome = metronome_,
        .countInBeats = metronome_ && countIn_ ? countInBeatCount : 0,
        .startBlock = startBlock,
        .startRow = startRow,
    };
    setPlaybackBaseBPM(request.project.bpm);

    // A preparation that `stop()` cancels never runs: the scheduler drops a cancelled task.
    prepareTask_ = scheduler_->after(0ms, [model = QPointer<AppModel>(this), request = std::move(request)] {
        if (model) model->preparePlayback(request);
    });
}

void AppModel::preparePlayback(const PlaybackRequest& request)
{
    prepareTask_.reset();
    const auto failures = audio_->prepareAudioUnits(request.project, *request.timeline);
    std::uint64_t startTime = 0;
    try {
        startTime = audio_->schedule(*request.timeline, request.project, request.looping, request.metronome,
                                     request.countInBeats);
    } catch (const std::exception& failure) {
        setIsPreparingPlayback(false);
        suppressNextMIDITransportSend_ = false;
        setError(std::string(failure.what()));
        return;
    }
    if (midiClockSend_ && !suppressNextMIDITransportSend_) {
        startMIDIClock(startTime, request.project.bpm, request.startBlock, request.startRow);
    }
    suppressNextMIDITransportSend_ = false;

    if (!failures.empty()) {
        auto unavailable = unavailableAudioUnitIDs_;
        std::set<std::string> names;
        for (const auto& failure : failures) {
            unavailable.insert(failure.reference.id());
            names.insert(failure.reference.name);
        }
        setUnavailableAudioUnitIDs(std::move(unavailable));
        std::string list;
        for (const auto& name : names) list += (list.empty() ? "" : ", ") + name;
        setError("Playback continues without unavailable Audio Units: " + list + ".");
    }

    scheduledLooping_ = request.looping;
    setIsPreparingPlayback(false);
    setIsPlaying(true);
    setActiveTimeline(request.timeline);
    playTask_ = repeatTask(scheduler_, 0ms, [model = QPointer<AppModel>(this), timeline = request.timeline,
                                             lastRowIndex = -1]() mutable -> std::optional<std::chrono::milliseconds> {
        if (!model) return std::nullopt;
        return model->positionPass(*timeline, lastRowIndex);
    });
}

std::optional<std::chrono::milliseconds> AppModel::positionPass(const PlaybackTimeline& timeline, int& lastRowIndex)
{
    const auto frame = currentTransportFrame();
    if (!frame) return positionWaitInterval;

    // Playback started without looping has only its one pass queued: switching Loop on meanwhile
    // cannot make it go round, so it still ends at its end.
    const bool looping = scheduledLooping_ && loopEnabled_;
    if (!looping && *frame >= timeline.totalFrames) {
        stop();
        return std::nullopt;
    }
    const std::int64_t position = looping ? *frame % timeline.totalFrames : *frame;
    audio_->updateAutomatedBuses(project_, timeline, position);

    const int index = playingRowIndex(timeline, position);
    if (index >= 0 && index != lastRowIndex) {
        const TimelineRow& row = timeline.rows[static_cast<std::size_t>(index)];
        clearReplaceRowIfNeeded(*frame, index);
        playbackUI_.row = row.row;
        // The song may have been edited since the timeline was built: the editor never follows playback
        // onto a block or a pattern that is no longer there.
        if (row.orderPosition && *row.orderPosition != selectedSongBlock_ && *row.orderPosition < songBlockCount(project_)) {
            setSelectedSongBlock(*row.orderPosition);
        }
        if (row.patternIndex != patternIndex_ && row.patternIndex >= 0 &&
            row.patternIndex < static_cast<int>(project_.patterns.size())) {
            setPatternIndex(row.patternIndex);
            setSelectedRow(0);
        }
        lastRowIndex = index;
    }
    return positionInterval;
}

void AppModel::stop()
{
    finishActiveMIDINotes(currentTransportFrame());
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
    setIsPreparingPlayback(false);
    setIsPlaying(false);
    playbackUI_.row.reset();
    setQueuedPatternIndex(std::nullopt);
    audio_->stop();
    if (midiClockTask_) {
        midiClockTask_->cancel();
        midiClockTask_.reset();
    }
    if (midiClockSend_ && !handlingExternalTransport_) {
        // The clocks queued ahead must not reach anyone after the Stop.
        midi_->flush();
        const std::uint8_t stopMessage = midiStop;
        sendMIDI(std::span(&stopMessage, 1), 0);
    }
}

} // namespace veltrane
