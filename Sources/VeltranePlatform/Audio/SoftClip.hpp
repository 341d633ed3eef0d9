#pragma once

#include <algorithm>

namespace veltrane {

/// A smooth saturation curve close to tanh (a rational approximation, far cheaper): linear near zero,
/// bending over to exactly ±1 from ±3 on.
inline float softClip(float x) noexcept
{
    const float v = std::clamp(x, -3.0f, 3.0f);
    const float square = v * v;
    return v * (27.0f + square) / (27.0f + 9.0f * square);
}

} // namespace veltrane
