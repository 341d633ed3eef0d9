#pragma once

// A per-sound stereo feedback delay followed by a small comb reverb, used when a sound with a delay or
// reverb send is rendered into its own buffer. One processor serves one sound: it is fed every frame of
// the sound's lengthened buffer in order and then dropped.
//
//     const auto tail = spatialTailFrames(rate, delayMix, delayTime, feedback, reverbMix);   // lengthen by
//     StereoSpatialFX fx(rate, delayTime, feedback);                                         // allocates
//     for (...) out = fx.process(left, right, delayMix, reverbMix);                          // never allocates
//
// Delay: one echo line per channel with feedback (each echo is the previous one times the feedback); the
// delayed signal is the input × (1 − delayMix) plus delayMix × the echo. Reverb: four parallel feedback
// combs per channel (feedback 0.72; the right ones 7.1 % longer for width), mixed in by reverbMix.
// The delay time is held to 0.001 ... 2 s; a feedback above 1 is a percentage; feedback is held to
// 0 ... 0.95.

#include "VeltraneCore/DSP/StereoFrame.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace veltrane {

class StereoSpatialFX {
public:
    static constexpr int combCount = 4;

    /// Allocates the delay lines and the combs; all zero.
    StereoSpatialFX(double sampleRate, double delayTime, double delayFeedback);

    /// One frame through the delay and the reverb; each mix is held to 0 ... 1 (NaN as 0). Never
    /// allocates.
    StereoFrame process(double left, double right, double delayMix, double reverbMix) noexcept;

    double delayFeedback() const { return delayFeedback_; }
    std::size_t delayLength() const { return delayLeft_.size(); }
    const std::array<std::vector<double>, combCount>& combLeft() const { return combLeft_; }
    const std::array<std::vector<double>, combCount>& combRight() const { return combRight_; }

private:
    std::vector<double> delayLeft_;
    std::vector<double> delayRight_;
    std::size_t delayIndex_ = 0;
    double delayFeedback_ = 0;
    std::array<std::vector<double>, combCount> combLeft_;
    std::array<std::vector<double>, combCount> combRight_;
    std::array<std::size_t, combCount> combLeftIndices_{};
    std::array<std::size_t, combCount> combRightIndices_{};
};

/// By how many frames a sound must be lengthened so that its echoes (until they fall by 60 dB, 1 to 24
/// of them) and its reverb (2 s) fit; 0 without sends.
std::int64_t spatialTailFrames(double sampleRate, double delayMix, double delayTime, double delayFeedback,
                               double reverbMix);

} // namespace veltrane
