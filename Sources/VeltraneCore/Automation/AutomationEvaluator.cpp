#include "VeltraneCore/Automation/AutomationEvaluator.hpp"

#include <algorithm>

namespace veltrane {

namespace {

using Point = AutomationEvaluator::Point;
using automation::assign;
using automation::between;
using automation::interpolate;

bool matches(const TimelineLockEvent& event, std::optional<int> track, std::optional<int> instrument)
{
    if (track && event.track != *track) return false;
    if (instrument && event.instrument != instrument) return false;
    return true;
}

/// The last lock of `target` in the event, if any: within one cell the last one wins.
const ParameterLock* lastLock(const TimelineLockEvent& event, ParameterTarget target)
{
    const auto found = std::find_if(event.locks.rbegin(), event.locks.rend(),
                                    [target](const ParameterLock& lock) { return lock.target == target; });
    return found == event.locks.rend() ? nullptr : &*found;
}

} // namespace

AutomationEvaluator::AutomationEvaluator(const PlaybackTimeline& timeline)
{
    for (const auto& event : timeline.locks) tracks_.push_back(event.track);
    std::sort(tracks_.begin(), tracks_.end());
    tracks_.erase(std::unique(tracks_.begin(), tracks_.end()), tracks_.end());
    if (tracks_.empty()) return;
    const std::size_t slots = tracks_.size() + 1;
    lanes_.resize(static_cast<std::size_t>(parameterTargetCount) * slots);

    for (const auto& event : timeline.locks) {
        const auto slot = static_cast<std::size_t>(std::lower_bound(tracks_.begin(), tracks_.end(), event.track) -
                                                   tracks_.begin()) + 1;
        for (const auto& lock : event.locks) {
            const auto base = static_cast<std::size_t>(indexOf(lock.target)) * slots;
            assign(lanes_[base + slot], event.frame, lock.value);
            assign(lanes_[base], event.frame, lock.value);
        }
    }
}

const std::vector<Point>* AutomationEvaluator::lane(ParameterTarget target, std::optional<int> track) const
{
    const int index = indexOf(target);
    if (tracks_.empty() || index < 0 || index >= parameterTargetCount) return nullptr;
    std::size_t slot = 0;
    if (track) {
        const auto found = std::lower_bound(tracks_.begin(), tracks_.end(), *track);
        if (found == tracks_.end() || *found != *track) return nullptr;
        slot = static_cast<std::size_t>(found - tracks_.begin()) + 1;
    }
    const auto& points = lanes_[static_cast<std::size_t>(index) * (tracks_.size() + 1) + slot];
    return points.empty() ? nullptr : &points;
}

bool AutomationEvaluator::has(ParameterTarget target, std::optional<int> track) const
{
    return lane(target, track) != nullptr;
}

const std::vector<Point>& AutomationEvaluator::points(ParameterTarget target, std::optional<int> track) const
{
    static const std::vector<Point> none;
    const auto* points = lane(target, track);
    return points ? *points : none;
}

double AutomationEvaluator::value(ParameterTarget target, std::int64_t frame, std::optional<int> track,
                                  double defaultValue) const
{
    const auto* points = lane(target, track);
    if (!points) return defaultValue;
    const auto& first = points->front();
    if (first.frame >= 1 && frame < first.frame) {
        const double t = static_cast<double>(std::max<std::int64_t>(frame, 0)) / static_cast<double>(first.frame);
        return between(target, defaultValue, first.value, t);
    }
    return interpolate(target, *points, frame);
}

bool hasAutomation(ParameterTarget target, std::optional<int> track, std::optional<int> instrument,
                   const PlaybackTimeline& timeline)
{
    return std::any_of(timeline.locks.begin(), timeline.locks.end(), [&](const TimelineLockEvent& event) {
        return matches(event, track, instrument) && lastLock(event, target) != nullptr;
    });
}

double automationValue(ParameterTarget target, std::int64_t frame, std::optional<int> track,
                       std::optional<int> instrument, double defaultValue, const PlaybackTimeline& timeline)
{
    std::vector<Point> points;
    for (const auto& event : timeline.locks) {
        if (!matches(event, track, instrument)) continue;
        if (const auto* lock = lastLock(event, target)) assign(points, event.frame, lock->value);
    }
    if (points.empty()) return defaultValue;
    if (points.front().frame >= 1) points.insert(points.begin(), {0, defaultValue});
    return interpolate(target, points, frame);
}

} // namespace veltrane
