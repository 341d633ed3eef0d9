#pragma once

#include "VeltranePlatform/Audio/AudioKernels.hpp"

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

/// `softClip` of four samples at once, each lane by the very operations of the one-sample form, so it
/// gives the same values to the bit (a NaN passes through the clamp as it does there).
inline kernels::Float4 softClip(kernels::Float4 x) noexcept
{
    const kernels::Float4 low = {-3.0f, -3.0f, -3.0f, -3.0f};
    const kernels::Float4 high = {3.0f, 3.0f, 3.0f, 3.0f};
    const kernels::Float4 v = x < low ? low : (high < x ? high : x);
    const kernels::Float4 square = v * v;
    return v * (27.0f + square) / (27.0f + 9.0f * square);
}

} // namespace veltrane
