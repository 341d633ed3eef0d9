#include "VeltraneCore/Modulation/ModulationSignal.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace veltrane {

namespace {

constexpr double shortestCycleBeats = 1.0 / 64.0;
constexpr double shortestReleaseSeconds = 0.001;

// The whole cycles of a position, as a signed 64-bit count. Positions beyond that range only arise from
// absurd tempos or phases; they are held to its ends rather than converted with undefined behaviour.
std::int64_t cycleIndex(double position)
{
    const double whole = std::floor(position);
    constexpr double limit = 9223372036854775807.0; // 2^63, the first double outside the range
    if (whole >= limit) return std::numeric_limits<std::int64_t>::max();
    if (whole < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(whole);
}

double lfoSignal(const ModulationSource& source, std::int64_t frame, double sampleRate, double bpm)
{
    const double beats = static_cast<double>(std::max<std::int64_t>(frame, 0)) / sampleRate * bpm / 60.0;
    // `!(x >= y)` so that a rate that is not a number takes the shortest cycle too.
    const double cycleBeats = !(source.rateBeats >= shortestCycleBeats) ? shortestCycleBeats : source.rateBeats;
    const double position = source.phase + beats / cycleBeats;
    if (!std::isfinite(position)) return 0;
    const double fraction = position - std::floor(position);

    switch (source.waveform) {
    case ModulationWaveform::sine: return std::sin(2 * std::numbers::pi * fraction);
    case ModulationWaveform::triangle: {
        const double nearest = fraction < 0.5 ? 0.0 : 1.0;
        return 1 - 4 * std::abs(nearest - fraction);
    }
    case ModulationWaveform::saw: return 2 * fraction - 1;
    case ModulationWaveform::square: return fraction < 0.5 ? 1.0 : -1.0;
    case ModulationWaveform::random: return randomLFOValue(cycleIndex(position), source.id.bytes[0]);
    }
    return 0;
}

double envelopeSignal(const ModulationSource& source, std::int64_t frame, std::int64_t noteStartFrame,
                      std::int64_t noteDurationFrames, double sampleRate)
{
    // Frames of one timeline never come near the ends of the range; a difference that would overflow
    // is taken as the far end instead of wrapping around to the note's start.
    std::int64_t elapsedFrames = 0;
    if (__builtin_sub_overflow(frame, noteStartFrame, &elapsedFrames)) {
        elapsedFrames = frame > noteStartFrame ? std::numeric_limits<std::int64_t>::max() : 0;
    }
    const double t = static_cast<double>(std::max<std::int64_t>(elapsedFrames, 0)) / sampleRate;

    if (source.attack > 0 && t < source.attack) return t / source.attack;
    const double d = t - source.attack;
    if (source.decay > 0 && d < source.decay) return 1 - d * (1 - source.sustain) / source.decay;
    const double gate = static_cast<double>(std::max<std::int64_t>(noteDurationFrames, 1)) / sampleRate;
    if (t <= gate) return source.sustain;
    // The release always falls from the sustain level, measured from the end of the gate, even when the
    // gate closed during the attack or the decay.
    const double release = !(source.release >= shortestReleaseSeconds) ? shortestReleaseSeconds : source.release;
    const double k = std::max(1 - (t - gate) / release, 0.0);
    const double level = source.sustain * k;
    return level < 1e-12 ? 0.0 : level;
}

} // namespace

double randomLFOValue(std::int64_t cycleIndex, std::uint8_t idByte)
{
    // A fixed hash of the cycle, so the sequence never depends on a random generator's state.
    std::uint64_t x = (static_cast<std::uint64_t>(cycleIndex) + idByte) * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL;
    x ^= x >> 21;
    x ^= x << 35;
    x ^= x >> 4;
    constexpr std::uint64_t mask = (std::uint64_t{1} << 53) - 1;
    return 2.0 * static_cast<double>(x & mask) / static_cast<double>(mask) - 1.0;
}

double modulationSignal(const ModulationSource& source, std::int64_t frame, std::int64_t noteStartFrame,
                        std::int64_t noteDurationFrames, double sampleRate, double bpm)
{
    // Timed signals need a clock; without one they move nothing.
    const bool hasClock = sampleRate > 0 && std::isfinite(sampleRate);
    double signal = 0;
    switch (source.kind) {
    case ModulationSourceKind::lfo: signal = hasClock ? lfoSignal(source, frame, sampleRate, bpm) : 0.0; break;
    case ModulationSourceKind::envelope:
        signal = hasClock ? envelopeSignal(source, frame, noteStartFrame, noteDurationFrames, sampleRate) : 0.0;
        break;
    case ModulationSourceKind::macro:
        signal = std::isnan(source.macroValue) ? 0.0 : std::clamp(source.macroValue, 0.0, 1.0);
        break;
    }
    // A signal that is not a number would drag its target to the bottom of its range once clamped.
    return std::isfinite(signal) ? signal : 0.0;
}

} // namespace veltrane
