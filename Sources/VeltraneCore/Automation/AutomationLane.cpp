#include "VeltraneCore/Automation/AutomationLane.hpp"

#include <algorithm>

namespace veltrane::automation {

namespace {

auto lowerBound(const std::vector<LanePoint>& lane, std::int64_t frame)
{
    return std::lower_bound(lane.begin(), lane.end(), frame,
                            [](const LanePoint& point, std::int64_t f) { return point.frame < f; });
}

} // namespace

void assign(std::vector<LanePoint>& lane, std::int64_t frame, double value)
{
    // Timelines list their lock events by frame, so this nearly always appends.
    if (lane.empty() || lane.back().frame < frame) {
        lane.push_back({frame, value});
        return;
    }
    const auto at = std::lower_bound(lane.begin(), lane.end(), frame,
                                     [](const LanePoint& point, std::int64_t f) { return point.frame < f; });
    if (at != lane.end() && at->frame == frame) {
        at->value = value;
    } else {
        lane.insert(at, {frame, value});
    }
}

double between(ParameterTarget target, double a, double b, double t)
{
    const double from = normalized(target, a);
    return valueAtNormalized(target, from + t * (normalized(target, b) - from));
}

double interpolate(ParameterTarget target, const std::vector<LanePoint>& lane, std::int64_t frame)
{
    const auto at = lowerBound(lane, frame);
    if (at == lane.end()) return lane.back().value;
    if (at == lane.begin() || at->frame == frame) return at->value;
    const auto& previous = *(at - 1);
    const double span = static_cast<double>(std::max<std::int64_t>(at->frame - previous.frame, 1));
    return between(target, previous.value, at->value, static_cast<double>(frame - previous.frame) / span);
}

} // namespace veltrane::automation
