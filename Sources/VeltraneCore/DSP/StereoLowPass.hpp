#pragma once

// The per-note low-pass filter of synth and sample notes (and of the metronome clicks): a second-order
// low-pass of the Audio EQ Cookbook, run in direct form I on each channel with its own history.
//
//     StereoLowPass filter(sampleRate, instrument.cutoff, instrument.resonance);
//     for (...) out = filter.process(left, right);
//     filter.update(sampleRate, modulatedCutoff, resonance);   // retune within a note, history kept
//
// In a voice's inner loop, `StereoLowPassRun` keeps the filter in registers and steps both channels at
// once as one two-lane vector (plain SSE2, so any x86-64 runs it).
//
// The cutoff is held to 20 Hz ... 0.45 × sample rate (the upper bound wins below 20 Hz) and the
// resonance (the filter's Q) to 0.05 ... 5. A value type: no allocation, safe to run on any thread.

#include "VeltraneCore/DSP/DoubleLanes.hpp"
#include "VeltraneCore/DSP/StereoFrame.hpp"

namespace veltrane {

/// The left and right channel of one frame, worked on by one vector instruction each.
using StereoLanes = DoubleLanes;

/// A decaying tail turns into subnormal numbers, which cost the CPU many times more per operation;
/// they lie some 6,000 dB below full scale, so they become zero. A compare and a mask: no branch.
inline double flushSubnormal(double value)
{
    return __builtin_fabs(value) < 2.2250738585072014e-308 ? 0.0 : value;
}

struct StereoLowPass {
    // Coefficients, normalised so that a0 = 1.
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    // The last two inputs and outputs of each channel.
    double lx1 = 0, lx2 = 0, ly1 = 0, ly2 = 0;
    double rx1 = 0, rx2 = 0, ry1 = 0, ry2 = 0;

    /// A filter that passes everything unchanged.
    StereoLowPass() = default;
    /// Coefficients for this tuning, history cleared.
    StereoLowPass(double sampleRate, double cutoff, double resonance);

    /// Recomputes the coefficients only; the history stays, so the filter can be retuned between frames.
    /// A sample rate that is not positive leaves the filter passing everything unchanged.
    void update(double sampleRate, double cutoff, double resonance);

    /// `update` of `filters[i]` with `cutoffs[i]` and `resonances[i]` for each of the `count`, worked out
    /// side by side in vector lanes: each filter gets the coefficients `update` gives it, the very same
    /// on any x86-64 and to within double rounding where the processor fuses multiplies and adds.
    static void tune(double sampleRate, const double* cutoffs, const double* resonances, int count,
                     StereoLowPass* filters);

    /// Filters one frame and advances the history. Never allocates.
    StereoFrame process(double left, double right) noexcept
    {
        const double yl = flushSubnormal(b0 * left + b1 * lx1 + b2 * lx2 - a1 * ly1 - a2 * ly2);
        lx2 = lx1;
        lx1 = left;
        ly2 = ly1;
        ly1 = yl;
        const double yr = flushSubnormal(b0 * right + b1 * rx1 + b2 * rx2 - a1 * ry1 - a2 * ry2);
        rx2 = rx1;
        rx1 = right;
        ry2 = ry1;
        ry1 = yr;
        return {yl, yr};
    }

    friend bool operator==(const StereoLowPass&, const StereoLowPass&) = default;
};

/// A `StereoLowPass` taken into registers for a run of frames: both channels step together, one lane
/// each. Write the history back with `store`.
///
/// Made for voice loops, which run under a `DenormalGuard`: there the processor itself flushes subnormal
/// results to zero, so no check stands on the filter's feedback path, and the output's dependence on
/// the last output is a single multiply and subtract (the other terms are summed first). That order
/// differs from `process` by double rounding only.
class StereoLowPassRun {
public:
    explicit StereoLowPassRun(const StereoLowPass& filter) noexcept
        : x1_{filter.lx1, filter.rx1}, x2_{filter.lx2, filter.rx2}, y1_{filter.ly1, filter.ry1},
          y2_{filter.ly2, filter.ry2}
    {
        retune(filter);
    }

    /// Takes the coefficients of `filter` (after its `update`), keeping this run's history.
    void retune(const StereoLowPass& filter) noexcept
    {
        b0_ = StereoLanes{filter.b0, filter.b0};
        b1_ = StereoLanes{filter.b1, filter.b1};
        b2_ = StereoLanes{filter.b2, filter.b2};
        a1_ = StereoLanes{filter.a1, filter.a1};
        a2_ = StereoLanes{filter.a2, filter.a2};
    }

    StereoLanes process(StereoLanes x) noexcept
    {
        const StereoLanes y = (b0_ * x + b1_ * x1_ + b2_ * x2_ - a2_ * y2_) - a1_ * y1_;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    void store(StereoLowPass& filter) const noexcept
    {
        filter.lx1 = x1_[0], filter.rx1 = x1_[1];
        filter.lx2 = x2_[0], filter.rx2 = x2_[1];
        filter.ly1 = y1_[0], filter.ry1 = y1_[1];
        filter.ly2 = y2_[0], filter.ry2 = y2_[1];
    }

private:
    StereoLanes x1_, x2_, y1_, y2_;
    StereoLanes b0_{}, b1_{}, b2_{}, a1_{}, a2_{};
};

} // namespace veltrane
