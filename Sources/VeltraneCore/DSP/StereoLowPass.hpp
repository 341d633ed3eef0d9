#pragma once

// The per-note low-pass filter of synth and sample notes (and of the metronome clicks): a second-order
// low-pass of the Audio EQ Cookbook, run in direct form I on each channel with its own history.
//
//     StereoLowPass filter(sampleRate, instrument.cutoff, instrument.resonance);
//     for (...) out = filter.process(left, right);
//     filter.update(sampleRate, modulatedCutoff, resonance);   // retune within a note, history kept
//
// The cutoff is held to 20 Hz ... 0.45 × sample rate (the upper bound wins below 20 Hz) and the
// resonance (the filter's Q) to 0.05 ... 5. A value type: no allocation, safe to run on any thread.

#include "VeltraneCore/DSP/StereoFrame.hpp"

namespace veltrane {

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

    /// Filters one frame and advances the history. Never allocates.
    StereoFrame process(double left, double right) noexcept;

    friend bool operator==(const StereoLowPass&, const StereoLowPass&) = default;
};

} // namespace veltrane
