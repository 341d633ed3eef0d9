#pragma once

#include "VeltraneCore/Models/ParameterTarget.hpp"

namespace veltrane {

/// A cell's override of one parameter, in the target's natural units. A lock is identified by its
/// target: a cell holds at most one lock per target.
struct ParameterLock {
    ParameterTarget target = ParameterTarget::instrumentVolume;
    double value = 0;

    ParameterTarget id() const { return target; }
    friend bool operator==(const ParameterLock&, const ParameterLock&) = default;
};

} // namespace veltrane
