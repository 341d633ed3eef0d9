#pragma once

// The lane arithmetic shared by the automation look-ups: one lane is a list of locked values ascending by
// frame, at most one per frame, read by a straight line between neighbours in the target's 0-to-1 form.

#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <cstdint>
#include <vector>

namespace veltrane::automation {

/// One locked value, in the target's natural units exactly as locked.
struct LanePoint {
    std::int64_t frame = 0;
    double value = 0;
    friend bool operator==(const LanePoint&, const LanePoint&) = default;
};

/// Sets the lane's value at `frame`, replacing a value already there.
void assign(std::vector<LanePoint>& lane, std::int64_t frame, double value);

/// The straight line from `a` to `b` in the target's 0-to-1 form, `t` of the way, in natural units.
double between(ParameterTarget target, double a, double b, double t);

/// The value at `frame` of a non-empty lane: a point's own value at its frame, before the first point and
/// after the last, and the line between its neighbours elsewhere.
double interpolate(ParameterTarget target, const std::vector<LanePoint>& lane, std::int64_t frame);

} // namespace veltrane::automation
