#include "VeltraneCore/DSP/StereoSpatialFX.hpp"

#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

constexpr std::array<double, StereoSpatialFX::combCount> combSeconds{0.0297, 0.0371, 0.0411, 0.0437};
constexpr double rightCombStretch = 1.071;
constexpr double combFeedback = 0.72;

/// A feedback of more than 1 is a percentage (the master section's 0 ... 85).
double feedbackFraction(double feedback) { return feedback > 1 ? feedback / 100 : feedback; }

double unitMix(double mix) { return std::isnan(mix) ? 0.0 : std::clamp(mix, 0.0, 1.0); }

/// `seconds` of `sampleRate` as a buffer length, fraction dropped, at least one frame. A rate or time
/// that is not a number gives one frame rather than an undefined conversion.
std::size_t bufferLength(double sampleRate, double seconds)
{
    const double frames = sampleRate * seconds;
    if (!(frames >= 1)) return 1;
    // Delay lines reach 2 s; no sane rate comes near this cap, which only guards against absurd ones.
    constexpr double maximumFrames = 1 << 26;
    return static_cast<std::size_t>(std::min(frames, maximumFrames));
}

// Reverb combs ring for a long time after the sound stops; their decay reaches subnormal numbers, which
// cost the CPU many times more per operation, so they become zero.
inline double flushSubnormal(double value) { return std::fpclassify(value) == FP_SUBNORMAL ? 0.0 : value; }

} // namespace

StereoSpatialFX::StereoSpatialFX(double sampleRate, double delayTime, double delayFeedback)
{
    const double seconds = std::isnan(delayTime) ? 0.001 : std::clamp(delayTime, 0.001, 2.0);
    const double rate = std::isfinite(sampleRate) ? sampleRate : 0.0;
    delayLeft_.assign(bufferLength(rate, seconds), 0.0);
    delayRight_.assign(delayLeft_.size(), 0.0);
    const double fraction = feedbackFraction(delayFeedback);
    delayFeedback_ = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 0.95);
    for (std::size_t c = 0; c < combSeconds.size(); ++c) {
        combLeft_[c].assign(bufferLength(rate, combSeconds[c]), 0.0);
        combRight_[c].assign(bufferLength(rate, combSeconds[c] * rightCombStretch), 0.0);
    }
}

StereoFrame StereoSpatialFX::process(double left, double right, double delayMix, double reverbMix) noexcept
{
    const double dm = unitMix(delayMix);
    const double rm = unitMix(reverbMix);

    const double echoLeft = delayLeft_[delayIndex_];
    const double echoRight = delayRight_[delayIndex_];
    delayLeft_[delayIndex_] = flushSubnormal(left + echoLeft * delayFeedback_);
    delayRight_[delayIndex_] = flushSubnormal(right + echoRight * delayFeedback_);
    if (++delayIndex_ == delayLeft_.size()) delayIndex_ = 0;
    const double delayedLeft = left * (1 - dm) + dm * echoLeft;
    const double delayedRight = right * (1 - dm) + dm * echoRight;

    const auto reverb = [](std::array<std::vector<double>, combCount>& combs, std::array<std::size_t, combCount>& indices,
                           double input) {
        double sum = 0;
        for (std::size_t c = 0; c < combs.size(); ++c) {
            auto& comb = combs[c];
            auto& index = indices[c];
            const double stored = comb[index];
            comb[index] = flushSubnormal(input + combFeedback * stored);
            if (++index == comb.size()) index = 0;
            sum += stored;
        }
        return sum / combCount;
    };
    const double wetLeft = reverb(combLeft_, combLeftIndices_, delayedLeft);
    const double wetRight = reverb(combRight_, combRightIndices_, delayedRight);

    return {(1 - rm) * delayedLeft + rm * wetLeft, (1 - rm) * delayedRight + rm * wetRight};
}

std::int64_t spatialTailFrames(double sampleRate, double delayMix, double delayTime, double delayFeedback,
                               double reverbMix)
{
    constexpr double reverbSeconds = 2;
    const bool reverb = reverbMix > 0;
    double seconds = 0;
    if (delayMix > 0) {
        const double feedback = feedbackFraction(delayFeedback);
        double echoes = 1;
        if (feedback > 0.001) {
            echoes = std::clamp(std::ceil(std::log(0.001) / std::log(std::min(feedback, 0.95))), 1.0, 24.0);
        }
        const double delaySeconds = delayTime * echoes;
        seconds = reverb ? std::max(delaySeconds, reverbSeconds) : delaySeconds;
    } else if (reverb) {
        seconds = reverbSeconds;
    }
    return std::max<std::int64_t>(0, framesForSeconds(seconds, sampleRate));
}

} // namespace veltrane
