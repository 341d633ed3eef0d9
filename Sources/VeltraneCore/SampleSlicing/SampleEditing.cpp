#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

// A fraction of the sample held to 0 to 1; one that is not a number takes `fallback`, the edit's
// neutral value, so a damaged edit plays the sample rather than nothing.
double fraction(double value, double fallback) { return std::isnan(value) ? fallback : std::clamp(value, 0.0, 1.0); }

// Trims and fades truncate toward zero.
std::int64_t framesOf(double fractionOfSample, std::int64_t frames)
{
    return static_cast<std::int64_t>(fractionOfSample * static_cast<double>(frames));
}

} // namespace

SampleBuffer editSample(const SampleBuffer& source, const SampleEdit& edit)
{
    // Every channel should be as long as the first; reading only as far as the shortest keeps a
    // malformed buffer from being read past its end.
    std::int64_t n = source.frameCount();
    for (const auto& channel : source.channels) n = std::min(n, static_cast<std::int64_t>(channel.size()));
    SampleBuffer result{.sampleRate = source.sampleRate,
                        .channels = std::vector<std::vector<float>>(source.channels.size())};
    if (n == 0) return result;

    const std::int64_t start = std::clamp<std::int64_t>(framesOf(fraction(edit.trimStart, 0), n), 0, n - 1);
    const std::int64_t end = std::clamp<std::int64_t>(framesOf(fraction(edit.trimEnd, 1), n), start + 1, n);
    const std::int64_t length = end - start;

    float peak = 0;
    for (std::size_t channel = 0; channel < source.channels.size(); ++channel) {
        const auto& in = source.channels[channel];
        auto& out = result.channels[channel];
        out.resize(static_cast<std::size_t>(length));
        for (std::int64_t i = 0; i < length; ++i) {
            const std::int64_t from = edit.reversed ? end - 1 - i : start + i;
            const float sample = in[static_cast<std::size_t>(from)];
            out[static_cast<std::size_t>(i)] = sample;
            peak = std::max(peak, std::abs(sample));
        }
    }

    const float gain = edit.normalized && peak > 0 ? 1.0f / peak : 1.0f;
    const std::int64_t fadeInFrames = framesOf(fraction(edit.fadeIn, 0), length);
    const std::int64_t fadeOutFrames = framesOf(fraction(edit.fadeOut, 0), length);
    if (gain == 1.0f && fadeInFrames == 0 && fadeOutFrames == 0) return result;

    // Linear ramps: the first frame of a fade-in and the last frame of a fade-out are silent.
    for (auto& out : result.channels) {
        for (std::int64_t i = 0; i < length; ++i) {
            const float fadeIn =
                fadeInFrames >= 1 ? std::min(static_cast<float>(i) / static_cast<float>(fadeInFrames), 1.0f) : 1.0f;
            const float fadeOut = fadeOutFrames > 0 ? std::min(static_cast<float>(length - i - 1) /
                                                                   static_cast<float>(fadeOutFrames), 1.0f)
                                                    : 1.0f;
            out[static_cast<std::size_t>(i)] *= fadeOut * gain * fadeIn;
        }
    }
    return result;
}

} // namespace veltrane
