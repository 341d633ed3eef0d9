#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

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

std::optional<SampleStretch> trimmedStretch(std::int64_t frames, const SampleEdit& edit)
{
    if (frames <= 0) return std::nullopt;
    const std::int64_t start = std::clamp<std::int64_t>(framesOf(fraction(edit.trimStart, 0), frames), 0, frames - 1);
    const std::int64_t end = std::clamp<std::int64_t>(framesOf(fraction(edit.trimEnd, 1), frames), start + 1, frames);
    return SampleStretch{start, end};
}

namespace {

// The trimmed stretch of `source`; nothing for a buffer with no frames. Every channel should be as long
// as the first; reading only as far as the shortest keeps a malformed buffer from being read past its end.
std::optional<SampleStretch> stretchOf(const SampleBuffer& source, const SampleEdit& edit)
{
    std::int64_t n = source.frameCount();
    for (const auto& channel : source.channels) n = std::min(n, static_cast<std::int64_t>(channel.size()));
    return trimmedStretch(n, edit);
}

// Reverses, normalises and fades channels that already hold the trimmed stretch, in place.
void shape(std::vector<std::vector<float>>& channels, const SampleEdit& edit)
{
    float peak = 0;
    for (auto& channel : channels) {
        if (edit.reversed) std::reverse(channel.begin(), channel.end());
        for (const float sample : channel) peak = std::max(peak, std::abs(sample));
    }
    if (channels.empty()) return;
    const auto length = static_cast<std::int64_t>(channels.front().size());
    const float gain = edit.normalized && peak > 0 ? 1.0f / peak : 1.0f;
    const std::int64_t fadeInFrames = framesOf(fraction(edit.fadeIn, 0), length);
    const std::int64_t fadeOutFrames = framesOf(fraction(edit.fadeOut, 0), length);
    if (gain == 1.0f && fadeInFrames == 0 && fadeOutFrames == 0) return;

    // Linear ramps: the first frame of a fade-in and the last frame of a fade-out are silent.
    for (auto& out : channels) {
        for (std::int64_t i = 0; i < length; ++i) {
            const float fadeIn =
                fadeInFrames >= 1 ? std::min(static_cast<float>(i) / static_cast<float>(fadeInFrames), 1.0f) : 1.0f;
            const float fadeOut = fadeOutFrames > 0 ? std::min(static_cast<float>(length - i - 1) /
                                                                   static_cast<float>(fadeOutFrames), 1.0f)
                                                    : 1.0f;
            out[static_cast<std::size_t>(i)] *= fadeOut * gain * fadeIn;
        }
    }
}

} // namespace

SampleBuffer editSample(const SampleBuffer& source, const SampleEdit& edit)
{
    SampleBuffer result{.sampleRate = source.sampleRate,
                        .channels = std::vector<std::vector<float>>(source.channels.size())};
    const auto stretch = stretchOf(source, edit);
    if (!stretch) return result;
    for (std::size_t channel = 0; channel < source.channels.size(); ++channel) {
        const auto& in = source.channels[channel];
        result.channels[channel].assign(in.begin() + stretch->start, in.begin() + stretch->end);
    }
    shape(result.channels, edit);
    return result;
}

SampleBuffer editSample(SampleBuffer&& source, const SampleEdit& edit)
{
    SampleBuffer result = std::move(source);
    const auto stretch = stretchOf(result, edit);
    for (auto& channel : result.channels) {
        if (!stretch) {
            channel.clear();
            continue;
        }
        if (stretch->start > 0) std::copy(channel.begin() + stretch->start, channel.begin() + stretch->end, channel.begin());
        channel.resize(static_cast<std::size_t>(stretch->end - stretch->start));
        // A short stretch of a long sample gives the rest back; copying it costs less than what it frees.
        if (channel.size() < channel.capacity() / 2) channel.shrink_to_fit();
    }
    shape(result.channels, edit);
    return result;
}

} // namespace veltrane
