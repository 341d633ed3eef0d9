#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <set>

namespace veltrane {

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t nanosecondsOf(Clock::time_point time)
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count());
}

} // namespace

std::uint64_t AudioEngine::schedule(const PlaybackTimeline& timeline, const Project& project, bool looping,
                                    bool metronome, int countInBeats)
{
    std::set<int> usedTracks;
    for (const auto& note : timeline.notes) usedTracks.insert(note.track);
    return startPlayback(
        [&] { return std::make_unique<LiveNotePlan>(timeline, std::make_shared<const Project>(project), samples_,
                                                    graph_.sampleRate()); },
        std::vector<int>(usedTracks.begin(), usedTracks.end()),
        BusAutomation(project, timeline, trackCount, BusAutomation::Options::live()), project, looping, metronome,
        countInBeats);
}

std::uint64_t AudioEngine::schedule(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                    bool looping, bool metronome, int countInBeats)
{
    const double sampleRate = outputSampleRate();
    const TimelineLength length = playbackTimelineLength(project, scope, startRow, startBlock, sampleRate);
    if (length.rows <= LiveNotePlan::windowRows) {
        return schedule(playbackTimeline(project, scope, startRow, startBlock, sampleRate, looping), project, looping,
                        metronome, countInBeats);
    }
    return startPlayback(
        [&] {
            return std::make_unique<LiveNotePlan>(std::make_shared<const Project>(project), scope, startRow, startBlock,
                                                  sampleRate, looping, samples_);
        },
        LiveNotePlan::tracksWithNotes(project, scope),
        // The track and master lanes too are read a window at a time, as the playing position reaches them.
        BusAutomation(project, BusAutomationWindows(project, scope, startRow, startBlock, length, looping), trackCount,
                      BusAutomation::Options::live()),
        project, looping, metronome, countInBeats);
}

std::uint64_t AudioEngine::startPlayback(const std::function<std::unique_ptr<LiveNotePlan>()>& makePlan,
                                         const std::vector<int>& usedTracks, BusAutomation buses,
                                         const Project& project, bool looping, bool metronome, int countInBeats)
{
    stop();
    for (const int track : usedTracks) mixdown_.connectStrip(track);
    apply(project);
    busAutomation_.emplace(std::move(buses));
    mixdown_.neutralizeDrivenBuses([this](ParameterTarget target, std::optional<int> track) {
        return busAutomation_->drives(target, track);
    });
    busAutomation_->update(mixdown_, 0);
    start();

    const double sampleRate = graph_.sampleRate();
    // Planned once the project is applied: the plan reads the samples it loaded.
    livePlan_ = makePlan();
    transport_.begin(PlaybackTransport::Playback{
        .project = livePlan_->sharedProject(),
        .cycleFrames = livePlan_->cycleFrames(),
        .countInFrames = countInFrames(countInBeats, project.bpm, sampleRate),
        .looping = looping,
        .metronome = metronome,
    });
    // Voices stay busy across the cycles of one playback: a note that rings into the next keeps its voice.
    for (MixdownStrip& strip : mixdown_.strips()) strip.voiceBusyUntil = {};

    scheduleCycle(0);
    if (transport_.playback().looping) scheduleCycle(1);

    if (metronome && countInBeats >= 1) {
        prepareMetronomeBuffers();
        const std::int64_t beat = beatFrames(project.bpm, sampleRate);
        if (metronomeBuffers_ && metronomeBuffers_->accent && metronomeBuffers_->regular) {
            metronomePlayer_->scheduleBuffer(metronomeBuffers_->accent, 0);
            for (int k = 1; k < countInBeats; ++k) metronomePlayer_->scheduleBuffer(metronomeBuffers_->regular, beat * k);
        }
    }

    // The first notes are rendered before the start time is taken, so the lead is not spent rendering.
    const std::int64_t urgent = framesForSeconds(urgentAheadSeconds, sampleRate);
    renderAhead(urgent, urgent, std::nullopt);

    const std::int64_t startFrame = graph_.renderedFrames() + framesForSeconds(startLeadSeconds, sampleRate);
    transport_.start(startFrame);
    if (hosting_) hosting_->startAudioUnitPlayback(startFrame);
    for (auto& [cycle, window] : std::exchange(heldHostedEvents_, {})) queueHostedEvents(cycle, window);
    metronomePlayer_->play(startFrame);
    for (MixdownStrip& strip : mixdown_.strips()) {
        if (!strip.connected) continue;
        for (const auto& voice : strip.voices) voice->play(startFrame);
    }

    if (device_) {
        if (const auto time = device_->timeOfGraphFrame(startFrame)) return nanosecondsOf(*time);
    }
    return nanosecondsOf(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(startLeadSeconds)));
}

void AudioEngine::scheduleCycle(std::int64_t cycle)
{
    // The cycle's notes are rendered and queued by `renderAhead` as their time comes near.
    if (!transport_.release(cycle, graph_.sampleRate())) return;
    // A plan of one window has the cycle's hosted events and beats at hand; a long song's come with each
    // window as `renderAhead` plans it.
    if (livePlan_ && livePlan_->singleWindow()) {
        queueHostedEvents(cycle, livePlan_->wholeCycle());
        queueMetronome(cycle, livePlan_->wholeCycle().rows);
    }
}

void AudioEngine::queueMetronome(std::int64_t cycle, const std::vector<TimelineRow>& rows)
{
    const PlaybackTransport::Playback& playback = transport_.playback();
    if (!playback.metronome || !playback.project) return;
    const int rowsPerBeat = playback.project->rowsPerBeat;
    if (rowsPerBeat <= 0) return;
    prepareMetronomeBuffers();
    if (!metronomeBuffers_ || !metronomeBuffers_->accent || !metronomeBuffers_->regular) return;
    const std::int64_t base = transport_.cycleStart(cycle);
    for (const TimelineRow& row : rows) {
        if (row.row % rowsPerBeat != 0) continue;
        // Beats follow the pattern's own rows, so each pattern's row 0 is a bar's first beat.
        const bool accent = row.row % (4 * rowsPerBeat) == 0;
        metronomePlayer_->scheduleBuffer(accent ? metronomeBuffers_->accent : metronomeBuffers_->regular,
                                         base + row.startFrame);
    }
}

void AudioEngine::renderAhead(std::int64_t horizon, std::int64_t urgentHorizon,
                              std::optional<Clock::time_point> deadline)
{
    if (!transport_.isPlaying() || !livePlan_) return;
    const Project& project = *transport_.playback().project;
    const double sampleRate = graph_.sampleRate();
    while (renderCycle_ < transport_.releasedCycles()) {
        if (livePlan_->passFinished()) {
            ++renderCycle_;
            livePlan_->restart();
            continue;
        }
        const std::int64_t cycle = renderCycle_;
        const std::int64_t base = transport_.cycleStart(cycle);
        const ScheduledSound* next = livePlan_->next(horizon - base, [&](const LiveNotePlan::Window& window) {
            queueHostedEvents(cycle, window);
            queueMetronome(cycle, window.rows);
        });
        if (next == nullptr) break;
        const ScheduledSound& sound = *next;
        const std::int64_t start = base + sound.frame;
        if (start >= urgentHorizon && deadline && Clock::now() >= *deadline) break;

        const auto render = [&] { return renderScheduledSound(sound, project, sampleRate); };
        const auto key = bufferKey(sound);
        const AudioBufferRef buffer = key ? renderedNotes_.bufferFor(*key, render) : render();
        const int track = sound.track;
        livePlan_->pop();
        if (!buffer) continue;
        MixdownStrip& strip = mixdown_.strips()[static_cast<std::size_t>(track)];
        const int voice = allocateTrackerVoice(strip.voiceBusyUntil, start, start + buffer->frameLength());
        strip.voices[static_cast<std::size_t>(voice)]->scheduleBuffer(buffer, start);
    }
}

void AudioEngine::queueHostedEvents(std::int64_t cycle, const LiveNotePlan::Window& window)
{
    if (!hosting_ || (window.midi.empty() && window.controls.empty())) return;
    // Hosted instruments count from the players' start, so their events wait until `schedule` has fixed it.
    if (!transport_.hasStarted()) {
        heldHostedEvents_.emplace_back(cycle, LiveNotePlan::Window{window.midi, window.controls, {}});
        return;
    }
    // Frames of the players' clock, as the rendered notes are queued: the instrument reads the clock of
    // the time-pitch stage's input, which runs apart from the graph clock whenever the rate is not 1.
    const std::int64_t base = transport_.cycleStart(cycle);
    for (const ScheduledMIDI& note : window.midi) {
        // A note whose unit failed to load finds none and is passed over with the rest of its events.
        const std::int64_t at = base + note.frame;
        const auto queue = [&](std::int64_t frame, std::array<std::uint8_t, 3> bytes) {
            return hosting_->queueAudioUnitPlaybackMIDI(note.instrumentID, note.track, frame, bytes);
        };
        if (!queue(at, {0xB0, 7, note.volume})) continue;
        queue(at, {0xB0, 10, note.pan});
        queue(at, {0xB0, 74, note.cutoff});
        queue(at, {0xB0, 71, note.resonance});
        queue(at, {0x90, note.note, note.velocity});
        queue(at + note.durationFrames, {0x80, note.note, 0});
    }
    for (const ScheduledMIDIControl& control : window.controls) {
        hosting_->queueAudioUnitPlaybackMIDI(control.instrumentID, control.track, base + control.frame,
                                             {0xB0, control.controller, control.value});
    }
}

std::int64_t AudioEngine::renderedThroughFrame() const noexcept
{
    const std::int64_t released = transport_.releasedCycles();
    const std::int64_t cycle = std::min(renderCycle_, released);
    std::int64_t within = 0;
    if (livePlan_ && renderCycle_ < released && !livePlan_->passFinished()) within = livePlan_->takenThroughFrame();
    return transport_.cycleStart(cycle) + within;
}

void AudioEngine::stop()
{
    // A fresh generation first: every continuation still queued for the playback becomes void.
    transport_.end();
    metronomePlayer_->stop();
    for (MixdownStrip& strip : mixdown_.strips()) {
        if (!strip.connected) continue;
        for (const auto& voice : strip.voices) voice->stop();
        // A stop silences the engine: auditioned notes end too, and their pending retriggers with them.
        for (const auto& voice : strip.auditionVoices) voice->stop();
    }
    retriggerSteps_.clear();
    // Hosted instruments drop the notes still queued for later cycles as well as those that sound.
    if (hosting_) hosting_->stopAudioUnitInstruments();
    livePlan_.reset();
    heldHostedEvents_.clear();
    busAutomation_.reset();
    renderedNotes_.clear();
    renderCycle_ = 0;
    for (MixdownStrip& strip : mixdown_.strips()) strip.voiceBusyUntil = {};
}

void AudioEngine::prepareMetronomeBuffers()
{
    if (!metronomeBuffers_) metronomeBuffers_ = makeMetronomeClicks(graph_.sampleRate());
}

} // namespace veltrane
