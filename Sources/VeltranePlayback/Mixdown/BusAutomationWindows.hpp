#pragma once

// What the bus automation of a long song reads, a window of rows at a time. Listing the track and master
// lanes of a whole song of a million rows before the first block would take seconds and gigabytes, so
// the automation holds the window of the frame it is asked for: the window's bus lock events with the
// points of each lane before and after it (`WindowLanes`), and its notes after the last note each track
// started before it, which is all an envelope on a bus follows. The playing position moves forward, so
// the windows are taken in order; a frame before the window (the next loop cycle) begins a pass again.
// A frame past the last window stays in it.
//
//     BusAutomationWindows windows(project, SongScope{}, 0, 0, playbackTimelineLength(...), true);
//     if (windows.moveTo(frame)) evaluator = AutomationEvaluator(windows.window());
//
// Reads the project as it was when made, whatever edits follow. Main thread.

#include "VeltranePlayback/NotePlan/WindowLanes.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <map>
#include <memory>

namespace veltrane {

class BusAutomationWindows {
public:
    /// Rows held at a time.
    static constexpr std::int64_t windowRows = 256;

    /// The windows of `scope` from `startRow` and `startBlock` (see `playbackTimeline`), whose length the
    /// caller has found (`playbackTimelineLength`, with the sample rate), `cyclic` when the playback
    /// loops; holds the first window.
    BusAutomationWindows(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                         const TimelineLength& length, bool cyclic);

    /// Holds the window of timeline frame `frame`; true when that is another window than before.
    bool moveTo(std::int64_t frame);

    /// The window held: its rows, its bus lock events between the lanes' points around it, the last
    /// note of each track before it followed by its own notes, and the whole timeline's `totalFrames`.
    const PlaybackTimeline& window() const noexcept { return window_; }

private:
    void load(std::int64_t firstRow);

    std::shared_ptr<const Project> project_;
    PlaybackScope scope_;
    int startRow_;
    int startBlock_;
    double sampleRate_;
    bool cyclic_;
    std::int64_t rows_; // the rows the scope lists
    WindowLanes lanes_;
    PlaybackTimeline window_;
    std::int64_t firstRow_ = 0;
    std::int64_t endRow_ = 0;
    // The last note of each track before the window, by track.
    std::map<int, TimelineNoteEvent> lastNotes_;
};

} // namespace veltrane
