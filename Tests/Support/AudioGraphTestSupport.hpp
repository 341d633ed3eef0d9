#pragma once

// Small signals and measurements shared by the audio graph and device tests.

#include "VeltranePlatform/Audio/AudioBuffer.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace veltrane::testing {

inline std::shared_ptr<AudioBuffer> makeBuffer(std::int64_t frames, double sampleRate,
                                               const std::function<float(int channel, std::int64_t frame)>& sample)
{
    auto buffer = std::make_shared<AudioBuffer>(frames, sampleRate);
    for (int channel = 0; channel < 2; ++channel) {
        for (std::int64_t i = 0; i < frames; ++i) buffer->channel(channel)[i] = sample(channel, i);
    }
    return buffer;
}

inline std::shared_ptr<AudioBuffer> sineBuffer(std::int64_t frames, double sampleRate, double hertz, float amplitude)
{
    return makeBuffer(frames, sampleRate, [=](int channel, std::int64_t i) {
        return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hertz * static_cast<double>(i) / sampleRate + channel * 0.5));
    });
}

/// Deterministic noise in -amplitude ... amplitude, different on each side.
inline std::shared_ptr<AudioBuffer> noiseBuffer(std::int64_t frames, double sampleRate, float amplitude, std::uint32_t seed = 1)
{
    std::uint32_t state = seed;
    auto buffer = std::make_shared<AudioBuffer>(frames, sampleRate);
    for (int channel = 0; channel < 2; ++channel) {
        for (std::int64_t i = 0; i < frames; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer->channel(channel)[i] = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
        }
    }
    return buffer;
}

/// One frame of `value` on both sides.
inline std::shared_ptr<AudioBuffer> impulseBuffer(double sampleRate, float value)
{
    return makeBuffer(1, sampleRate, [=](int, std::int64_t) { return value; });
}

inline bool sameBits(const float* a, const float* b, std::int64_t frames)
{
    return std::memcmp(a, b, sizeof(float) * static_cast<std::size_t>(frames)) == 0;
}

/// Renders `frames` frames of `graph` in blocks of `block` frames into a new buffer.
inline std::shared_ptr<AudioBuffer> renderGraph(AudioGraph& graph, std::int64_t frames, int block = 256)
{
    auto result = std::make_shared<AudioBuffer>(frames, graph.sampleRate());
    for (std::int64_t done = 0; done < frames; done += block) {
        const int count = static_cast<int>(std::min<std::int64_t>(block, frames - done));
        graph.render(result->channel(0) + done, result->channel(1) + done, count);
    }
    return result;
}

inline float peak(const float* samples, std::int64_t from, std::int64_t to)
{
    float result = 0;
    for (std::int64_t i = from; i < to; ++i) result = std::max(result, std::fabs(samples[i]));
    return result;
}

inline double rms(const float* samples, std::int64_t from, std::int64_t to)
{
    double energy = 0;
    for (std::int64_t i = from; i < to; ++i) energy += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(energy / static_cast<double>(std::max<std::int64_t>(to - from, 1)));
}

inline double decibels(double ratio)
{
    return 20.0 * std::log10(ratio);
}

/// Amplitude of the `hertz` component of a stretch of samples (Goertzel).
inline double toneAmplitude(const float* samples, std::int64_t frames, double sampleRate, double hertz)
{
    const double w = 2.0 * std::numbers::pi * hertz / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double s0 = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames);
}

} // namespace veltrane::testing
