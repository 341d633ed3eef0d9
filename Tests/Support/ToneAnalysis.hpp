#pragma once

// Finds a sine tone in recorded audio, for tests that record a tone played through a real JACK server.
// A loaded machine can make the server miss a cycle, which cuts a piece out of a take and breaks the
// tone's phase there; so the tone is measured in short windows and judged by their median, which a few
// broken windows cannot move.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace veltrane::testing {

/// The amplitude of the component at `frequency` in `count` samples taken every `stride` floats.
inline double toneAmplitude(const float* samples, std::size_t count, std::size_t stride, double frequency, double sampleRate)
{
    double sine = 0;
    double cosine = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2 * M_PI * frequency * static_cast<double>(i) / sampleRate;
        sine += samples[i * stride] * std::sin(phase);
        cosine += samples[i * stride] * std::cos(phase);
    }
    return count == 0 ? 0 : 2 * std::hypot(sine, cosine) / static_cast<double>(count);
}

/// The median amplitude at `frequency` over `count` samples cut into windows of 0.1 s.
inline double medianToneAmplitude(const float* samples, std::size_t count, std::size_t stride, double frequency, double sampleRate)
{
    const auto window = static_cast<std::size_t>(sampleRate / 10);
    std::vector<double> amplitudes;
    for (std::size_t start = 0; window > 0 && start + window <= count; start += window) {
        amplitudes.push_back(toneAmplitude(samples + start * stride, window, stride, frequency, sampleRate));
    }
    if (amplitudes.empty()) return 0;
    std::nth_element(amplitudes.begin(), amplitudes.begin() + static_cast<std::ptrdiff_t>(amplitudes.size() / 2), amplitudes.end());
    return amplitudes[amplitudes.size() / 2];
}

} // namespace veltrane::testing
