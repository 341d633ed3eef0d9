#pragma once

// Small measurements of rendered notes for the note-rendering tests.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace veltrane::testing {

/// A synth with an organ envelope (instant attack, full sustain, no release) at full volume.
inline Instrument organ(Waveform waveform = Waveform::sine)
{
    Instrument instrument = Instrument::withWaveform("Organ", waveform);
    instrument.volume = 1;
    instrument.attack = 0;
    instrument.decay = 0;
    instrument.sustain = 1;
    instrument.release = 0;
    instrument.cutoff.reset();
    instrument.resonance.reset();
    return instrument;
}

inline std::vector<float> channelOf(const AudioBuffer& buffer, int channel)
{
    const float* samples = buffer.channel(channel);
    return std::vector<float>(samples, samples + buffer.frameLength());
}

/// Upward zero crossings between `from` and `to`.
inline int upwardCrossings(const AudioBuffer& buffer, std::int64_t from, std::int64_t to, int channel = 0)
{
    const float* x = buffer.channel(channel);
    int count = 0;
    for (std::int64_t i = from + 1; i < to; ++i) count += x[i - 1] < 0 && x[i] >= 0 ? 1 : 0;
    return count;
}

inline double rms(const AudioBuffer& buffer, std::int64_t from, std::int64_t to, int channel = 0)
{
    const float* x = buffer.channel(channel);
    double sum = 0;
    for (std::int64_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

/// The magnitude of the component at `frequency` (Goertzel), normalised so that a sine of amplitude a
/// gives about a / 2.
inline double magnitudeAt(const AudioBuffer& buffer, double frequency, std::int64_t from, std::int64_t to)
{
    const float* x = buffer.channel(0);
    const double w = 2 * std::numbers::pi * frequency / buffer.sampleRate();
    const double coefficient = 2 * std::cos(w);
    double s1 = 0;
    double s2 = 0;
    for (std::int64_t i = from; i < to; ++i) {
        const double s0 = x[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return std::sqrt(std::max(power, 0.0)) / static_cast<double>(to - from);
}

} // namespace veltrane::testing
