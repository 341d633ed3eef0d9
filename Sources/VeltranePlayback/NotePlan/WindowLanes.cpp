#include "VeltranePlayback/NotePlan/WindowLanes.hpp"

#include "VeltraneCore/Automation/InstrumentLanes.hpp"

#include <algorithm>
#include <memory>

namespace veltrane {

WindowLanes::WindowLanes(const Project& project, PlaybackScope scope, int startRow, int startBlock, double sampleRate)
    : project_(project), scope_(std::move(scope)), startRow_(startRow), startBlock_(startBlock), sampleRate_(sampleRate)
{
    for (const Pattern& pattern : project.patterns) {
        if (static_cast<int>(lockedTargets_.size()) < pattern.channels) lockedTargets_.resize(static_cast<std::size_t>(pattern.channels));
        for (int row = 0; row < pattern.rows; ++row) {
            const auto cells = pattern.cells.row(row);
            for (int track = 0; track < pattern.channels; ++track) {
                for (const ParameterLock& lock : cells[static_cast<std::size_t>(track)].locks) {
                    if (!isInstrumentTarget(lock.target)) continue;
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

void WindowLanes::complete(PlaybackTimeline& window, std::int64_t endRow)
{
    if (window.rows.empty()) return;
    const std::int64_t endFrame = window.rows.back().startFrame + window.rows.back().durationFrames;

    // The lanes the window's notes read: their track and instrument, each target the track ever locks.
    std::set<Key> wanted;
    for (const TimelineNoteEvent& note : window.notes) {
        if (note.track < 0 || note.track >= static_cast<int>(lockedTargets_.size())) continue;
        for (const int target : lockedTargets_[static_cast<std::size_t>(note.track)]) {
            wanted.insert({note.track, note.instrument, target});
        }
    }

    // Lanes whose next point after the window is not known yet: one scan finds them all.
    std::set<Key> unknown;
    for (const Key& key : wanted) {
        const auto found = ahead_.find(key);
        const bool valid = found != ahead_.end() && found->second.scannedFromFrame <= endFrame &&
                           (!found->second.point || found->second.point->frame >= endFrame);
        if (!valid) unknown.insert(key);
    }
    if (!unknown.empty()) {
        for (const Key& key : unknown) ahead_[key] = Ahead{endFrame, std::nullopt};
        std::set<Key> missing = unknown;
        forEachTimelineLock(project_, scope_, startRow_, startBlock_, sampleRate_, endRow,
                            [&](const TimelineLockEvent& event) {
                                if (!event.instrument) return true;
                                for (const ParameterLock& lock : event.locks) {
                                    if (!isInstrumentTarget(lock.target)) continue;
                                    const Key key{event.track, *event.instrument, indexOf(lock.target)};
                                    if (missing.erase(key) == 0) continue;
                                    // Within one cell the last lock of a target wins.
                                    double value = lock.value;
                                    for (const ParameterLock& later : event.locks) {
                                        if (later.target == lock.target) value = later.value;
                                    }
                                    ahead_[key].point = automation::LanePoint{event.frame, value};
                                }
                                return !missing.empty();
                            });
    }

    // The window's own lock events between the last points before it and the next points after it.
    std::vector<TimelineLockEvent> locks;
    locks.reserve(window.locks.size() + 2 * wanted.size());
    const auto pointEvent = [](const Key& key, const automation::LanePoint& point) {
        return TimelineLockEvent{
            .frame = point.frame,
            .track = std::get<0>(key),
            .instrument = std::get<1>(key),
            .locks = {ParameterLock{static_cast<ParameterTarget>(std::get<2>(key)), point.value}},
        };
    };
    for (const Key& key : wanted) {
        if (const auto found = before_.find(key); found != before_.end()) locks.push_back(pointEvent(key, found->second));
    }
    for (const TimelineLockEvent& event : window.locks) {
        locks.push_back(event);
        if (!event.instrument) continue;
        for (const ParameterLock& lock : event.locks) {
            if (isInstrumentTarget(lock.target)) before_[{event.track, *event.instrument, indexOf(lock.target)}] = {event.frame, lock.value};
        }
    }
    for (const Key& key : wanted) {
        const auto& ahead = ahead_[key];
        if (ahead.point) locks.push_back(pointEvent(key, *ahead.point));
    }
    window.locks = std::move(locks);
    window.instrumentLanes = window.locks.empty() ? nullptr : std::make_shared<const InstrumentLanes>(window.locks);
}

} // namespace veltrane
