#include "VeltranePlayback/NotePlan/WindowLanes.hpp"

#include "VeltraneCore/Automation/InstrumentLanes.hpp"

#include <algorithm>
#include <memory>

namespace veltrane {

std::set<int> patternsPlayed(const Project& project, const PlaybackScope& scope)
{
    const int count = static_cast<int>(project.patterns.size());
    std::set<int> patterns;
    if (const auto* single = std::get_if<PatternScope>(&scope)) {
        patterns.insert(single->index >= 0 && single->index < count ? single->index : 0);
    } else if (project.arrangement) {
        for (const auto& block : project.arrangement->blocks) patterns.insert(block.pattern);
    } else {
        patterns.insert(project.order.begin(), project.order.end());
    }
    std::erase_if(patterns, [count](int pattern) { return pattern < 0 || pattern >= count; });
    return patterns;
}

WindowLanes::WindowLanes(const Project& project, PlaybackScope scope, int startRow, int startBlock, double sampleRate,
                         Lanes lanes)
    : project_(project), scope_(std::move(scope)), startRow_(startRow), startBlock_(startBlock), sampleRate_(sampleRate),
      lanes_(lanes)
{
    for (const int index : patternsPlayed(project, scope_)) {
        const Pattern& pattern = project.patterns[static_cast<std::size_t>(index)];
        if (static_cast<int>(lockedTargets_.size()) < pattern.channels) lockedTargets_.resize(static_cast<std::size_t>(pattern.channels));
        for (int row = 0; row < pattern.rows; ++row) {
            const auto cells = pattern.cells.row(row);
            for (int track = 0; track < pattern.channels; ++track) {
                for (const ParameterLock& lock : cells[static_cast<std::size_t>(track)].locks) {
                    if (!isInstrumentTarget(lock.target)) {
                        if (lanes_ == Lanes::bus) busLanes_.insert({isTrackTarget(lock.target) ? track : -1, -1, indexOf(lock.target)});
                        continue;
                    }
                    auto& targets = lockedTargets_[static_cast<std::size_t>(track)];
                    if (std::find(targets.begin(), targets.end(), indexOf(lock.target)) == targets.end()) {
                        targets.push_back(indexOf(lock.target));
                    }
                }
            }
        }
    }
}

void WindowLanes::restart()
{
    before_.clear();
}

std::optional<WindowLanes::Key> WindowLanes::laneOf(const TimelineLockEvent& event, ParameterTarget target) const
{
    if (lanes_ == Lanes::bus) {
        if (isInstrumentTarget(target)) return std::nullopt;
        return Key{isTrackTarget(target) ? event.track : -1, -1, indexOf(target)};
    }
    if (!event.instrument || !isInstrumentTarget(target)) return std::nullopt;
    return Key{event.track, *event.instrument, indexOf(target)};
}

std::set<WindowLanes::Key> WindowLanes::wanted(const PlaybackTimeline& window) const
{
    if (lanes_ == Lanes::bus) return busLanes_;
    // The lanes the window's notes read: their track and instrument, each target the track ever locks.
    std::set<Key> wanted;
    for (const TimelineNoteEvent& note : window.notes) {
        if (note.track < 0 || note.track >= static_cast<int>(lockedTargets_.size())) continue;
        for (const int target : lockedTargets_[static_cast<std::size_t>(note.track)]) {
            wanted.insert({note.track, note.instrument, target});
        }
    }
    return wanted;
}

void WindowLanes::complete(PlaybackTimeline& window, std::int64_t endRow)
{
    if (window.rows.empty()) return;
    const std::int64_t endFrame = window.rows.back().startFrame + window.rows.back().durationFrames;
    const std::set<Key> lanes = wanted(window);

    // Lanes whose next point after the window is not known yet: one scan finds them all.
    std::set<Key> unknown;
    for (const Key& key : lanes) {
        const auto found = ahead_.find(key);
        const bool valid = found != ahead_.end() && found->second.scannedFromFrame <= endFrame &&
                           (!found->second.point || found->second.point->frame >= endFrame);
        if (!valid) unknown.insert(key);
    }
    if (!unknown.empty()) {
        for (const Key& key : unknown) ahead_[key] = Ahead{endFrame, std::nullopt};
        std::set<Key> missing = unknown;
        std::int64_t lastFound = 0;
        forEachTimelineLock(project_, scope_, startRow_, startBlock_, sampleRate_, endRow,
                            [&](const TimelineLockEvent& event) {
                                // Once every lane has its point, only the other events of the frame that
                                // gave the last one may still move a point: a higher track's lock of a
                                // master parameter wins.
                                if (missing.empty() && event.frame > lastFound) return false;
                                for (const ParameterLock& lock : event.locks) {
                                    const auto key = laneOf(event, lock.target);
                                    if (!key || !unknown.contains(*key)) continue;
                                    auto& point = ahead_[*key].point;
                                    if (point && point->frame != event.frame) continue;
                                    // At one frame the last lock wins, within a cell and across tracks.
                                    point = automation::LanePoint{event.frame, lock.value};
                                    missing.erase(*key);
                                    lastFound = event.frame;
                                }
                                return true;
                            });
    }

    // The window's own lock events between the last points before it and the next points after it.
    std::vector<TimelineLockEvent> locks;
    locks.reserve(window.locks.size() + 2 * lanes.size());
    const auto pointEvent = [](const Key& key, const automation::LanePoint& point) {
        const int instrument = std::get<1>(key);
        return TimelineLockEvent{
            .frame = point.frame,
            .track = std::get<0>(key),
            .instrument = instrument >= 0 ? std::optional<int>(instrument) : std::nullopt,
            .locks = {ParameterLock{static_cast<ParameterTarget>(std::get<2>(key)), point.value}},
        };
    };
    for (const Key& key : lanes) {
        if (const auto found = before_.find(key); found != before_.end()) locks.push_back(pointEvent(key, found->second));
    }
    for (TimelineLockEvent& event : window.locks) {
        for (const ParameterLock& lock : event.locks) {
            if (const auto key = laneOf(event, lock.target)) before_[*key] = {event.frame, lock.value};
        }
        // The bus automation reads the bus locks alone.
        if (lanes_ == Lanes::bus) std::erase_if(event.locks, [](const ParameterLock& lock) { return isInstrumentTarget(lock.target); });
        if (!event.locks.empty()) locks.push_back(std::move(event));
    }
    for (const Key& key : lanes) {
        const auto& ahead = ahead_[key];
        if (ahead.point) locks.push_back(pointEvent(key, *ahead.point));
    }
    window.locks = std::move(locks);
    window.instrumentLanes = window.locks.empty() || lanes_ == Lanes::bus
                                 ? nullptr
                                 : std::make_shared<const InstrumentLanes>(window.locks);
}

} // namespace veltrane
