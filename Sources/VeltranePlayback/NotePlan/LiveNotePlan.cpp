#include "VeltranePlayback/NotePlan/LiveNotePlan.hpp"

#include <algorithm>
#include <iterator>
#include <limits>

namespace veltrane {

std::vector<int> LiveNotePlan::tracksWithNotes(const Project& project, const PlaybackScope& scope)
{
    std::vector<bool> used;
    const int instruments = static_cast<int>(project.instruments.size());
    for (const int index : patternsPlayed(project, scope)) {
        const Pattern& pattern = project.patterns[static_cast<std::size_t>(index)];
        if (static_cast<int>(used.size()) < pattern.channels) used.resize(static_cast<std::size_t>(pattern.channels));
        for (int row = 0; row < pattern.rows; ++row) {
            const auto cells = pattern.cells.row(row);
            for (int track = 0; track < pattern.channels; ++track) {
                const Cell& cell = cells[static_cast<std::size_t>(track)];
                if (cell.note && cell.instrument && *cell.instrument >= 0 && *cell.instrument < instruments) {
                    used[static_cast<std::size_t>(track)] = true;
                }
            }
        }
    }
    std::vector<int> tracks;
    for (std::size_t track = 0; track < used.size(); ++track) {
        if (used[track]) tracks.push_back(static_cast<int>(track));
    }
    return tracks;
}

LiveNotePlan::LiveNotePlan(const PlaybackTimeline& timeline, std::shared_ptr<const Project> project,
                           const SampleStore& samples, double sampleRate)
    : project_(std::move(project)), sampleRate_(sampleRate)
{
    planWhole(timeline, samples);
}

void LiveNotePlan::planWhole(const PlaybackTimeline& timeline, const SampleStore& samples)
{
    cycleFrames_ = timeline.totalFrames;
    ScheduledSoundList list = makeScheduledSounds(timeline, *project_, samples, sampleRate_);
    sounds_ = std::move(list.sounds);
    whole_ = Window{std::move(list.midi), std::move(list.controls), timeline.rows};
}

LiveNotePlan::LiveNotePlan(std::shared_ptr<const Project> project, const PlaybackScope& scope, int startRow,
                           int startBlock, double sampleRate, bool cyclic, const SampleStore& samples)
    : project_(std::move(project)), sampleRate_(sampleRate)
{
    const TimelineLength length = playbackTimelineLength(*project_, scope, startRow, startBlock, sampleRate);
    if (length.rows <= windowRows) {
        planWhole(playbackTimeline(*project_, scope, startRow, startBlock, sampleRate, cyclic), samples);
        return;
    }
    single_ = false;
    samples_ = samples;
    cycleFrames_ = length.totalFrames;
    source_ = Source{scope, startRow, startBlock, cyclic, length.rows};
    lanes_.emplace(*project_, scope, startRow, startBlock, sampleRate);
    planner_.emplace(*project_, liveNotePlanOptions());
}

void LiveNotePlan::restart()
{
    index_ = 0;
    if (single_) return;
    nextRow_ = 0;
    nextRowFrame_ = 0;
    pending_.clear();
    planner_->restart();
    lanes_->restart();
}

bool LiveNotePlan::planNextWindow(const WindowHandler& onWindow)
{
    const std::int64_t count = std::min(windowRows, source_->rows - nextRow_);
    PlaybackTimeline window = playbackTimeline(*project_, source_->scope, source_->startRow, source_->startBlock,
                                               sampleRate_, source_->cyclic, TimelineWindow{nextRow_, count});
    if (window.rows.empty()) {
        // Only a scope that cannot be timed lists nothing: it has nothing to play.
        nextRow_ = source_->rows;
        return false;
    }
    nextRow_ += count;
    nextRowFrame_ = window.rows.back().startFrame + window.rows.back().durationFrames;
    lanes_->complete(window, nextRow_);

    ScheduledSoundList list;
    addScheduledSounds(window, *project_, samples_, sampleRate_, *planner_, list);
    // A note of an earlier window may strike after the first notes of this one (a delay, a retrigger
    // step): the sounds still waiting and the new ones are merged in frame order, the earlier window's
    // first among equal frames, as the whole timeline's plan orders them.
    std::deque<ScheduledSound> merged;
    const auto byFrame = [](const ScheduledSound& a, const ScheduledSound& b) { return a.frame < b.frame; };
    std::merge(std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()),
               std::make_move_iterator(list.sounds.begin()), std::make_move_iterator(list.sounds.end()),
               std::back_inserter(merged), byFrame);
    pending_ = std::move(merged);

    if (onWindow) onWindow(Window{std::move(list.midi), std::move(list.controls), std::move(window.rows)});
    return true;
}

const ScheduledSound* LiveNotePlan::next(std::int64_t before, const WindowHandler& onWindow)
{
    if (single_) return index_ < sounds_.size() && sounds_[index_].frame < before ? &sounds_[index_] : nullptr;
    while (true) {
        const bool allPlanned = nextRow_ >= source_->rows;
        // A waiting sound is next for certain once no window still to come can start before it.
        if (!pending_.empty() && (allPlanned || pending_.front().frame < nextRowFrame_)) {
            return pending_.front().frame < before ? &pending_.front() : nullptr;
        }
        // Everything still to come starts at or after the next window's first row.
        if (allPlanned || nextRowFrame_ >= before) return nullptr;
        planNextWindow(onWindow);
    }
}

void LiveNotePlan::pop()
{
    if (single_) {
        ++index_;
    } else {
        pending_.pop_front();
    }
}

bool LiveNotePlan::passFinished() const noexcept
{
    if (single_) return index_ >= sounds_.size();
    return nextRow_ >= source_->rows && pending_.empty();
}

std::int64_t LiveNotePlan::takenThroughFrame() const noexcept
{
    if (single_) return index_ < sounds_.size() ? sounds_[index_].frame : cycleFrames_;
    std::int64_t through = nextRow_ < source_->rows ? nextRowFrame_ : std::numeric_limits<std::int64_t>::max();
    if (!pending_.empty()) through = std::min(through, pending_.front().frame);
    return through == std::numeric_limits<std::int64_t>::max() ? cycleFrames_ : through;
}

} // namespace veltrane
