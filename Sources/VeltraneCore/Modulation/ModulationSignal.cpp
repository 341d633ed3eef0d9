#include "VeltraneCore/Modulation/ModulationSignal.hpp"

#include "VeltraneCore/DSP/CycleSine.hpp"
#include "VeltraneCore/DSP/WaveShapes.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// `!(x >= y)` so that a rate that is not a number takes the shortest cycle too.
double cycleBeatsOf(const ModulationSource& source)
{
    return !(source.rateBeats >= shortestCycleBeats) ? shortestCycleBeats : source.rateBeats;
}

// The LFO's position in cycles at `frames` (one number, or a vector of them): the same arithmetic in
// the scalar and the batch evaluation, so both put a frame on the same side of a cycle's edge.
template <class V>
V lfoPosition(const ModulationSource& source, const V& frames, double sampleRate, double bpm, double cycleBeats)
{
    const V beats = frames / sampleRate * bpm / 60.0;
    return source.phase + beats / cycleBeats;
}

double lfoSignal(const ModulationSource& source, std::int64_t frame, double sampleRate, double bpm)
{
    const double position = lfoPosition(source, static_cast<double>(std::max<std::int64_t>(frame, 0)), sampleRate,
                                         bpm, cycleBeatsOf(source));
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

// The periodic shapes on a vector of cycle fractions (0 to 1): the oscillators' own curves, which are
// those of `lfoSignal` (the sine within double rounding).
template <ModulationWaveform waveform, Lanes V>
V periodicWave(const V& fraction)
{
    if constexpr (waveform == ModulationWaveform::sine) return waveAt<Waveform::sine>(fraction);
    if constexpr (waveform == ModulationWaveform::triangle) return waveAt<Waveform::triangle>(fraction);
    if constexpr (waveform == ModulationWaveform::saw) return waveAt<Waveform::saw>(fraction);
    if constexpr (waveform == ModulationWaveform::square) return waveAt<Waveform::square>(fraction);
    return V{};
}

// A periodic LFO's signals, as many frames at a time as `V` holds; returns how many it wrote (the
// frames after the last whole group are left to the caller). Positions grow with the frame (or stay,
// or all fall with a negative tempo), so when the first and the last lie within 2^51 cycles, where the
// vector floor is exact, every one between does; otherwise (or when they are not numbers) nothing is
// written here.
template <ModulationWaveform waveform, Lanes V>
int periodicSignals(const ModulationSource& source, std::int64_t first, std::int64_t stride, int count,
                    double sampleRate, double bpm, double* out)
{
    constexpr int width = sizeof(V) / sizeof(double);
    const int whole = count / width * width;
    if (whole == 0) return 0;
    const double cycleBeats = cycleBeatsOf(source);
    const auto frameAt = [&](int k) { return static_cast<double>(std::max<std::int64_t>(first + k * stride, 0)); };
    const auto inRange = [](double position) { return std::abs(position) < 2251799813685248.0; };
    if (!inRange(lfoPosition(source, frameAt(0), sampleRate, bpm, cycleBeats)) ||
        !inRange(lfoPosition(source, frameAt(whole - 1), sampleRate, bpm, cycleBeats))) {
        return 0;
    }
    // Frame numbers are whole numbers far below 2^53, so these sums are exact.
    V offsets;
    for (int lane = 0; lane < width; ++lane) offsets[lane] = static_cast<double>(lane * stride);
    const V zero{};
    for (int k = 0; k < whole; k += width) {
        const V frames = static_cast<double>(first + k * stride) + offsets;
        const V position = lfoPosition(source, frames < 0 ? zero : frames, sampleRate, bpm, cycleBeats);
        const V signal = periodicWave<waveform>(position - floorOf(position));
        std::memcpy(out + k, &signal, sizeof signal);
    }
    return whole;
}

template <Lanes V>
int periodicLFOSignals(const ModulationSource& source, std::int64_t first, std::int64_t stride, int count,
                       double sampleRate, double bpm, double* out)
{
    switch (source.waveform) {
    case ModulationWaveform::sine:
        return periodicSignals<ModulationWaveform::sine, V>(source, first, stride, count, sampleRate, bpm, out);
    case ModulationWaveform::triangle:
        return periodicSignals<ModulationWaveform::triangle, V>(source, first, stride, count, sampleRate, bpm, out);
    case ModulationWaveform::saw:
        return periodicSignals<ModulationWaveform::saw, V>(source, first, stride, count, sampleRate, bpm, out);
    case ModulationWaveform::square:
        return periodicSignals<ModulationWaveform::square, V>(source, first, stride, count, sampleRate, bpm, out);
    case ModulationWaveform::random: break;
    }
    return 0;
}

#ifdef VELTRANE_WIDE_INSTRUCTIONS
VELTRANE_WIDE int periodicLFOSignalsWide(const ModulationSource& source, std::int64_t first, std::int64_t stride,
                                         int count, double sampleRate, double bpm, double* out)
{
    return periodicLFOSignals<QuadLanes>(source, first, stride, count, sampleRate, bpm, out);
}
#endif

} // namespace

void modulationSignals(const ModulationSource& source, std::int64_t first, std::int64_t stride, int count,
                       std::int64_t noteStartFrame, std::int64_t noteDurationFrames, double sampleRate, double bpm,
                       double* out)
{
    int done = 0;
    if (source.kind == ModulationSourceKind::lfo && sampleRate > 0 && std::isfinite(sampleRate)) {
#ifdef VELTRANE_WIDE_INSTRUCTIONS
        if (processorRunsWide()) {
            done = periodicLFOSignalsWide(source, first, stride, count, sampleRate, bpm, out);
        } else
#endif
        {
            done = periodicLFOSignals<DoubleLanes>(source, first, stride, count, sampleRate, bpm, out);
        }
    }
    for (int k = done; k < count; ++k) {
        out[k] = modulationSignal(source, first + k * stride, noteStartFrame, noteDurationFrames, sampleRate, bpm);
    }
}

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
