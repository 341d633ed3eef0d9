#pragma once

// What live playback plays, planned a window of the timeline at a time. Pressing Play on a song of
// thousands of blocks must not list the song: the plan builds the rows of the scope `windowRows` at a
// time as the playback reaches them, plans their notes (`addScheduledSounds`, with the lane points
// around the window from `WindowLanes`) and hands them out in the order the whole timeline's plan would
// have them. So it holds a window of notes, never the song, and the engine hears the same notes as if
// the whole timeline had been planned first.
//
// A timeline of at most one window (a pattern, most songs) is planned once and kept for every loop cycle,
// as is a timeline given whole (made by hand).
//
//     LiveNotePlan plan(project, SongScope{}, 0, 0, 48000, true, samples);
//     plan.restart();                                    // each loop cycle
//     while (const ScheduledSound* sound = plan.next(before, onWindow)) { ...; plan.pop(); }
//
// Main thread.

#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"
#include "VeltranePlayback/NotePlan/WindowLanes.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

class LiveNotePlan {
public:
    /// Rows planned at a time.
    static constexpr std::int64_t windowRows = 256;

    /// What one window adds besides its built-in sounds: hosted-instrument notes and control changes,
    /// and its rows (for the metronome). For a plan of one window, the whole cycle's.
    struct Window {
        std::vector<ScheduledMIDI> midi;
        std::vector<ScheduledMIDIControl> controls;
        std::vector<TimelineRow> rows;
    };
    using WindowHandler = std::function<void(const Window&)>;

    /// The plan of `scope` from its first row, its notes rendered at `sampleRate` (the output rate).
    /// `samples` is read now: an edit during playback does not change the notes of this playback.
    LiveNotePlan(std::shared_ptr<const Project> project, const PlaybackScope& scope, int startRow, int startBlock,
                 double sampleRate, bool cyclic, const SampleStore& samples);
    /// The plan of a timeline given whole.
    LiveNotePlan(const PlaybackTimeline& timeline, std::shared_ptr<const Project> project, const SampleStore& samples,
                 double sampleRate);

    const Project& project() const noexcept { return *project_; }
    const std::shared_ptr<const Project>& sharedProject() const noexcept { return project_; }
    /// One pass of the timeline (a loop cycle), in frames.
    std::int64_t cycleFrames() const noexcept { return cycleFrames_; }
    /// True when one window holds the whole timeline: `wholeCycle` is then all of it.
    bool singleWindow() const noexcept { return single_; }
    /// The whole cycle's hosted notes and rows, for a plan of one window.
    const Window& wholeCycle() const noexcept { return whole_; }
    /// The channels on which a pattern that `scope` plays holds a note: the strips a playback of it uses.
    static std::vector<int> tracksWithNotes(const Project& project, const PlaybackScope& scope);

    /// Begins a pass from the timeline's first row.
    void restart();

    /// The next sound of the pass in timeline order, if it starts before `before` (a timeline frame);
    /// windows are planned as needed, each handed to `onWindow` (never the windows of a plan of one
    /// window). Null when the pass has no further sound before `before`.
    const ScheduledSound* next(std::int64_t before, const WindowHandler& onWindow);
    /// Takes the sound `next` gave.
    void pop();
    /// True when every sound of the pass has been taken.
    bool passFinished() const noexcept;
    /// The timeline frame before which every sound of the pass has been taken.
    std::int64_t takenThroughFrame() const noexcept;

private:
    void planWhole(const PlaybackTimeline& timeline, const SampleStore& samples);
    bool planNextWindow(const WindowHandler& onWindow);

    std::shared_ptr<const Project> project_;
    SampleStore samples_;
    double sampleRate_;
    std::int64_t cycleFrames_ = 0;
    bool single_ = true;
    Window whole_;

    // A plan of one window: its sounds, kept for every pass.
    std::vector<ScheduledSound> sounds_;
    std::size_t index_ = 0;

    // A plan of windows.
    struct Source {
        PlaybackScope scope;
        int startRow = 0;
        int startBlock = 0;
        bool cyclic = false;
        std::int64_t rows = 0; // the rows the scope lists
    };
    std::optional<Source> source_;
    std::optional<WindowLanes> lanes_;
    std::optional<NotePlanner> planner_;
    std::int64_t nextRow_ = 0;        // the first row of the next window
    std::int64_t nextRowFrame_ = 0;   // where it starts
    std::deque<ScheduledSound> pending_; // planned and not yet taken, in order
};

} // namespace veltrane
