#include "VeltraneCore/Automation/InstrumentLanes.hpp"

#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <algorithm>
#include <map>

namespace veltrane {

InstrumentLanes::InstrumentLanes(const std::vector<TimelineLockEvent>& events) : eventCount_(events.size())
{
    std::map<Owner, Lanes> gathered;
    for (const auto& event : events) {
        // A lock event that names no instrument automates none.
        if (!event.instrument) continue;
        Lanes* lanes = nullptr;
        for (const auto& lock : event.locks) {
            if (!isInstrumentTarget(lock.target)) continue;
            if (!lanes) lanes = &gathered[Owner{event.track, *event.instrument}];
            // Within one cell the last lock of a target wins, as a later assignment replaces an earlier one.
            automation::assign((*lanes)[static_cast<std::size_t>(indexOf(lock.target))], event.frame, lock.value);
        }
    }
    owners_.reserve(gathered.size());
    lanes_.reserve(gathered.size());
    for (auto& [owner, lanes] : gathered) {
        owners_.push_back(owner);
        lanes_.push_back(std::move(lanes));
    }
}

const std::vector<automation::LanePoint>* InstrumentLanes::lane(ParameterTarget target, int track,
                                                                 int instrument) const
{
    if (!isInstrumentTarget(target) || indexOf(target) < 0) return nullptr;
    const Owner owner{track, instrument};
    const auto found = std::lower_bound(owners_.begin(), owners_.end(), owner);
    if (found == owners_.end() || *found != owner) return nullptr;
    const auto& points = lanes_[static_cast<std::size_t>(found - owners_.begin())][static_cast<std::size_t>(indexOf(target))];
    return points.empty() ? nullptr : &points;
}

bool InstrumentLanes::has(ParameterTarget target, int track, int instrument) const
{
    return lane(target, track, instrument) != nullptr;
}

double InstrumentLanes::value(ParameterTarget target, std::int64_t frame, int track, int instrument,
                              double defaultValue) const
{
    const auto* points = lane(target, track, instrument);
    if (!points) return defaultValue;
    const auto& first = points->front();
    if (first.frame >= 1 && frame < first.frame) {
        // The lane begins at the default at frame 0 and ramps to its first lock.
        if (frame <= 0) return defaultValue;
        return automation::between(target, defaultValue, first.value,
                                   static_cast<double>(frame) / static_cast<double>(first.frame));
    }
    return automation::interpolate(target, *points, frame);
}

} // namespace veltrane
