#include "VeltranePlayback/Mixdown/BusAutomationWindows.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

namespace veltrane {

BusAutomationWindows::BusAutomationWindows(const Project& project, const PlaybackScope& scope, int startRow,
                                           int startBlock, const TimelineLength& length, bool cyclic)
    : project_(std::make_shared<const Project>(project)), scope_(scope), startRow_(startRow), startBlock_(startBlock),
      sampleRate_(length.sampleRate), cyclic_(cyclic), rows_(length.rows),
      lanes_(*project_, scope, startRow, startBlock, length.sampleRate, WindowLanes::Lanes::bus)
{
    // Held even for a song without bus lanes or envelopes on buses: an edit while it plays may route one.
    load(0);
}

void BusAutomationWindows::load(std::int64_t firstRow)
{
    if (firstRow == 0) {
        lanes_.restart();
        lastNotes_.clear();
    } else {
        // The window held comes before: its notes, in timeline order, leave each track's last one.
        for (const TimelineNoteEvent& note : window_.notes) lastNotes_[note.track] = note;
    }
    const std::int64_t count = std::clamp<std::int64_t>(rows_ - firstRow, 0, windowRows);
    PlaybackTimeline next = playbackTimeline(*project_, scope_, startRow_, startBlock_, sampleRate_, cyclic_,
                                             TimelineWindow{firstRow, count});
    firstRow_ = firstRow;
    endRow_ = firstRow + count;
    lanes_.complete(next, endRow_);

    // The notes before the window that an envelope may still follow, in timeline order (by start, then
    // track), then the window's own.
    std::vector<TimelineNoteEvent> notes;
    notes.reserve(lastNotes_.size() + next.notes.size());
    for (const auto& [track, note] : lastNotes_) notes.push_back(note);
    std::sort(notes.begin(), notes.end(), [](const TimelineNoteEvent& a, const TimelineNoteEvent& b) {
        return a.startFrame != b.startFrame ? a.startFrame < b.startFrame : a.track < b.track;
    });
    notes.insert(notes.end(), std::make_move_iterator(next.notes.begin()), std::make_move_iterator(next.notes.end()));
    next.notes = std::move(notes);
    next.noteOffs.clear(); // nothing here reads them
    window_ = std::move(next);
}

bool BusAutomationWindows::moveTo(std::int64_t frame)
{
    if (window_.rows.empty()) return false;
    bool moved = false;
    if (firstRow_ > 0 && frame < window_.rows.front().startFrame) {
        load(0);
        moved = true;
    }
    while (endRow_ < rows_ && frame >= window_.rows.back().startFrame + window_.rows.back().durationFrames) {
        load(endRow_);
        moved = true;
    }
    return moved;
}

} // namespace veltrane
