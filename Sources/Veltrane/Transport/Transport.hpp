#pragma once

// The transport: play and stop of the current pattern or the song, the playback position loop and the
// meter polling loop, following a received MIDI clock and sending ours, live MIDI recording, and playing
// on after the audio device changes. The model owns one for its whole life and hands it these commands;
// the transport keeps the running playback, its tasks and the recording's held notes here, and reads and
// writes the editor's state (cursor, pattern, song block and the switches the views observe) through the
// model, whose signals tell the views. Main thread only.

#include "Veltrane/Model/LiveRecordingState.hpp"
#include "Veltrane/Model/TaskScheduler.hpp"
#include "VeltraneCore/MIDIRealtime/MIDIClockFollow.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

namespace veltrane {

class AppModel;

namespace testing {
struct AppModelTestAccess;
}

class Transport {
public:
    explicit Transport(AppModel& model);
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    /// Starts the meter polling loop and takes the MIDI connection's and the engine's events; the
    /// model's constructor calls it last.
    void start();

    // Play and stop (Transport.cpp).

    /// Plays the current pattern, or the song in song mode, from the cursor: builds the timeline, prepares
    /// the hosted plug-ins and schedules it on the engine. Nothing while playing or preparing, or when
    /// there is nothing to play.
    void play();
    /// Ends playback and its preparation; safe when nothing plays. With clock sending on (and not
    /// answering a received Stop), drops the clocks queued ahead and sends Stop.
    void stop();
    /// The timeline of the running playback; none while stopped or preparing.
    const PlaybackTimeline* activeTimeline() const noexcept { return activeTimeline_.get(); }
    /// The tempo the running timeline was built with.
    double playbackBaseBPM() const noexcept { return playbackBaseBPM_; }
    /// The current frame: counted from the first row over every loop cycle, held at 0 through the
    /// count-in; none before the engine has rendered the playback's start.
    std::optional<std::int64_t> currentFrame();

    // Live MIDI recording (MIDIRecording.cpp).

    /// Arms or disarms live recording; disarming makes the whole recording one undo step.
    void toggleLiveRecording();
    void handleMIDINoteOn(int note, int velocity);
    void handleMIDINoteOff(int note);
    void auditionMIDINote(int note, int velocity);
    /// Forgets an armed recording's snapshot and held notes: the document they belong to is going.
    void endRecordingSession();

    // MIDI clock and transport (MIDIClockSync.cpp).

    void receiveMIDIClock(std::uint64_t hostTimeNanos);
    void receiveMIDIStart();
    void receiveMIDIContinue();
    void receiveMIDIStop();
    void receiveMIDISongPosition(int position);
    void seekMIDI(int position);
    std::int64_t externalClockTicks() const noexcept { return externalClockTicks_; }
    const std::deque<std::uint64_t>& receivedClockTimes() const noexcept { return clockTempo_.stamps(); }

private:
    friend struct testing::AppModelTestAccess;

    /// What `play()` hands its preparation task: the project copy and its timeline, the switches as they
    /// were, and where playback starts.
    struct PlaybackRequest {
        Project project;
        std::shared_ptr<const PlaybackTimeline> timeline;
        bool looping = false;
        bool metronome = false;
        int countInBeats = 0;
        int startBlock = 0;
        int startRow = 0;
    };

    void setActiveTimeline(std::shared_ptr<const PlaybackTimeline> timeline);
    void setPlaybackBaseBPM(double value);
    /// The preparation task: prepares the hosted plug-ins, schedules the playback and starts the position
    /// loop (and the clock, when sending it).
    void preparePlayback(const PlaybackRequest& request);
    /// One pass of the playback position loop; none when the loop ends.
    std::optional<std::chrono::milliseconds> positionPass(const PlaybackTimeline& timeline, int& lastRowIndex);

    void startMIDIClock(std::uint64_t hostTimeNanos, double bpm, int startBlock, int startRow);
    void sendMIDI(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos);

    void finishActiveMIDINotes(std::optional<std::int64_t> frame);
    void clearReplaceRowIfNeeded(std::int64_t absoluteFrame, int timelineRow);
    /// Recording's edit: applied in place, no undo step (disarming makes the one step).
    void recordMutation(const std::function<void(Project&)>& change);
    /// Sets the gate of a held note's cell from how long it was held; nothing when the cell is gone.
    void closeRecordedNote(const RecordedMIDINote& note, std::optional<std::int64_t> endFrame);

    // Recovery after an audio device change (AudioDeviceRecovery.cpp).
    /// The audio device went away or changed: stops playback, and rebuilds the engine once the changes
    /// have settled, playing again if it was playing.
    void audioConfigurationChanged();
    void recoverAudio();

    AppModel& model_;

    std::shared_ptr<ScheduledTask> playTask_;
    std::shared_ptr<ScheduledTask> prepareTask_;
    std::shared_ptr<ScheduledTask> midiClockTask_;
    std::shared_ptr<ScheduledTask> meterTask_;
    std::shared_ptr<ScheduledTask> audioRecoveryTask_;
    bool resumeAfterAudioRecovery_ = false;
    std::shared_ptr<const PlaybackTimeline> activeTimeline_;
    double playbackBaseBPM_ = 124.0;
    // The loop switch as the running playback was scheduled: the engine queued further cycles only if
    // it was on, so turning it on later must not make the transport wait for cycles that never come.
    bool scheduledLooping_ = false;
    MIDIClockTempoEstimate clockTempo_;
    std::int64_t externalClockTicks_ = 0;
    bool handlingExternalTransport_ = false;
    bool suppressNextMIDITransportSend_ = false;
    std::optional<Project> liveRecordSnapshot_;
    std::map<int, RecordedMIDINote> activeMIDINotes_;
    std::optional<ReplacePosition> lastReplacePosition_;
};

} // namespace veltrane
