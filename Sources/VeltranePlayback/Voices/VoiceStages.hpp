#pragma once

// The stages every built-in note passes after its oscillator or sample read: the equal-power pan law,
// then drive and bit reduction, then the note's low-pass filter (which the voices own).
//
//     PanGains::forPan(0)          0.7071 on both sides
//     drivenSample(x, 1)           tanh(9x) / tanh(9): a full-scale input stays at ±1
//     bitReducedSample(x, 12)      2,048 levels
//
// Arithmetic only, no state.

#include <algorithm>
#include <cmath>

namespace veltrane {

/// The bit depth at and above which bit reduction leaves the sound untouched.
inline constexpr double neutralBitDepth = 16;

struct PanGains {
    double left = 0;
    double right = 0;

    /// Equal-power gains for `pan` from -1 (left) to 1 (right); a pan outside is held to the range and
    /// one that is not a number counts as the centre, so a damaged value never fills a note with NaN.
    static PanGains forPan(double pan)
    {
        const double p = std::isnan(pan) ? 0.0 : std::clamp(pan, -1.0, 1.0);
        return {std::sqrt((1 - p) / 2), std::sqrt((1 + p) / 2)};
    }
};

/// Soft saturation by tanh with a gain of 8 × amount + 1, scaled so that ±1 stays ±1. Only an amount
/// above 0 drives: 0 (and NaN) leave the sample exactly as it was.
class DriveStage {
public:
    explicit DriveStage(double amount)
        : active_(amount > 0), gain_(8 * amount + 1), scale_(active_ ? 1 / std::tanh(gain_) : 1)
    {
    }
    bool active() const { return active_; }
    double operator()(double x) const { return active_ ? std::tanh(gain_ * x) * scale_ : x; }

private:
    bool active_;
    double gain_;
    double scale_;
};

/// Rounds to 2^(bits − 1) levels per unit, halves away from zero; below 4 bits to 8 levels. A depth of
/// 15.9 and above (and NaN) leaves the sample untouched.
class BitReductionStage {
public:
    explicit BitReductionStage(double bitDepth)
        : active_(bitDepth < 15.9),
          levels_(!active_ ? 1 : bitDepth >= 4 ? std::exp2(std::round(std::min(bitDepth, neutralBitDepth)) - 1) : 8)
    {
    }
    bool active() const { return active_; }
    double operator()(double x) const { return active_ ? std::round(levels_ * x) / levels_ : x; }

private:
    bool active_;
    double levels_;
};

} // namespace veltrane
