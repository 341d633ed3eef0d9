#pragma once

// The built-in synthesizer's oscillator: one of four waveforms, or two operators in frequency modulation.
// Phases count cycles and start at 0; each step advances the phase before it is read, so the first frame
// of a note is already one step into the cycle.
//
//     waveSample(Waveform::square, 0.25)      1
//     visitOscillator(instrument.fm, Waveform::saw, [&](auto oscillator) {
//         oscillator.next(440.0 / 48000);      one sample at 440 Hz, 48 kHz
//     });
//
// Each waveform, and each pair of operator waveforms, is a type of its own, so a voice loop is compiled
// once per oscillator with no choice left to make per frame. Everything here is inline arithmetic on
// doubles: no library call, no allocation, no state beyond the two phases.

#include "VeltraneCore/DSP/CycleSine.hpp"
#include "VeltraneCore/DSP/WaveShapes.hpp"
#include "VeltraneCore/Models/FMSettings.hpp"
#include "VeltraneCore/Models/Waveform.hpp"

#include <cmath>
#include <numbers>
#include <optional>

namespace veltrane {

/// A waveform value outside the four, as a damaged value could give: it plays silence.
inline constexpr Waveform silentWaveform = static_cast<Waveform>(255);

inline double waveSample(Waveform waveform, double x)
{
    switch (waveform) {
    case Waveform::sine: return waveAt<Waveform::sine>(x);
    case Waveform::triangle: return waveAt<Waveform::triangle>(x);
    case Waveform::saw: return waveAt<Waveform::saw>(x);
    case Waveform::square: return waveAt<Waveform::square>(x);
    }
    return 0;
}

/// The fractional part of a phase in cycles.
inline double phaseFraction(double phase) { return phase - floorOf(phase); }
template <Lanes V>
inline V phaseFraction(const V& phase) { return phase - floorOf(phase); }

/// `waveAt` of the fractions of two or four phases (in cycles, below 2^51: a note never comes near);
/// the sine takes its phases whole, with fewer steps and the same values (within double rounding where
/// a phase modulated by another lies below 0).
template <Waveform waveform, Lanes V>
inline V waveOfPhase(const V& phase)
{
    if constexpr (waveform == Waveform::sine) {
        return sineOfCycles(phase);
    } else {
        return waveAt<waveform>(phaseFraction(phase));
    }
}

namespace detail {

// Frames are read eight at a time, as two groups of four lanes side by side: a sine is a chain of
// dependent multiplies and adds, and two chains at once keep the processor busy where one leaves it
// waiting. Four lanes are one register where the voice loop is built for AVX (see `SynthVoice.cpp`)
// and two SSE2 pairs elsewhere. Arrays of phases and samples are padded to a multiple of eight with
// copies of the last phase.
inline constexpr int oscillatorGroupFrames = 8;
inline int paddedRun(int count) { return (count + oscillatorGroupFrames - 1) & ~(oscillatorGroupFrames - 1); }

inline void padPhases(double* phases, int count)
{
    for (int k = count; k < paddedRun(count); ++k) phases[k] = phases[count - 1];
}

// The waveform of `count` phases (at most `oscillatorRunFrames`), eight at a time; `phases` and `out`
// have room for `paddedRun(count)`.
template <Waveform waveform>
void wavesOfPhases(double* phases, double* out, int count)
{
    padPhases(phases, count);
    for (int k = 0; k < count; k += oscillatorGroupFrames) {
        storeQuad(out + k, waveOfPhase<waveform>(loadQuad(phases + k)));
        storeQuad(out + k + 4, waveOfPhase<waveform>(loadQuad(phases + k + 4)));
    }
}

} // namespace detail

/// The most frames an oscillator's `fill` takes at once (a whole number of groups).
inline constexpr int oscillatorRunFrames = 64;
static_assert(oscillatorRunFrames % detail::oscillatorGroupFrames == 0);

/// One waveform alone.
template <Waveform waveform>
class PlainOscillator {
public:
    /// Advances by `cycles` (the frequency divided by the sample rate) and returns the next sample.
    double next(double cycles)
    {
        phase_ += cycles;
        return waveAt<waveform>(phaseFraction(phase_));
    }

    /// The next `count` samples (at most `oscillatorRunFrames`), advancing by `cycles(k)` before
    /// sample k: the samples of as many `next` calls. The phases add up one by one; the waveform is
    /// read eight frames at a time. `out` has room for `oscillatorRunFrames` samples; those after
    /// `count` are left unspecified.
    template <class Cycles>
    void fill(Cycles&& cycles, double* out, int count)
    {
        Phases phases;
        for (int k = 0; k < count; ++k) advance(cycles(k), k, phases);
        waves(phases, out, count);
    }

    // `fill` in two halves, for a voice loop that adds up the phases of its next run of frames while it
    // works on this one: the chain of additions, one frame after another, then overlaps other work
    // instead of holding up its own loop.

    /// The phases of up to `oscillatorRunFrames` frames.
    struct Phases {
        double carrier[oscillatorRunFrames];
    };
    /// Advances by `cycles` and keeps the phase as frame `k` of `phases`.
    void advance(double cycles, int k, Phases& phases) { phases.carrier[k] = phase_ += cycles; }
    /// The samples of the first `count` frames of `phases` (whose later frames it may overwrite).
    void waves(Phases& phases, double* out, int count) const { detail::wavesOfPhases<waveform>(phases.carrier, out, count); }

private:
    double phase_ = 0;
};

/// Two operators: the modulator moves the carrier's phase.
template <Waveform carrier, Waveform modulator>
class FMOscillator {
public:
    explicit FMOscillator(const FMSettings& fm)
        // The modulator moves the carrier's phase by up to 12 / 2π cycles (12 radians) at amount 1.
        : depth_(fm.amount * 12 / (2 * std::numbers::pi)),
          // Fine tune is in cents; the ratios set each operator's frequency against the note's.
          carrierStep_(std::exp2(fm.carrier.fine / 1200) * fm.carrier.ratio),
          modulatorStep_(std::exp2(fm.modulator.fine / 1200) * fm.modulator.ratio)
    {
    }

    double next(double cycles)
    {
        modulatorPhase_ += modulatorStep_ * cycles;
        const double m = waveAt<modulator>(phaseFraction(modulatorPhase_));
        phase_ += carrierStep_ * cycles;
        return waveAt<carrier>(phaseFraction(phase_ + m * depth_));
    }

    /// As `PlainOscillator::fill`: the samples of `count` calls of `next`, eight frames at a time, with
    /// the same room in `out`.
    template <class Cycles>
    void fill(Cycles&& cycles, double* out, int count)
    {
        Phases phases;
        for (int k = 0; k < count; ++k) advance(cycles(k), k, phases);
        waves(phases, out, count);
    }

    /// As `PlainOscillator`'s: `fill` in two halves.
    struct Phases {
        double ofModulator[oscillatorRunFrames];
        double ofCarrier[oscillatorRunFrames];
    };
    void advance(double cycles, int k, Phases& phases)
    {
        phases.ofModulator[k] = modulatorPhase_ += modulatorStep_ * cycles;
        phases.ofCarrier[k] = phase_ += carrierStep_ * cycles;
    }
    void waves(Phases& phases, double* out, int count) const
    {
        detail::padPhases(phases.ofModulator, count);
        detail::padPhases(phases.ofCarrier, count);
        for (int k = 0; k < count; k += detail::oscillatorGroupFrames) {
            storeQuad(out + k, carrierAt(loadQuad(phases.ofModulator + k), loadQuad(phases.ofCarrier + k)));
            storeQuad(out + k + 4, carrierAt(loadQuad(phases.ofModulator + k + 4), loadQuad(phases.ofCarrier + k + 4)));
        }
    }

private:
    // Four frames of `next` from their operators' phases.
    QuadLanes carrierAt(const QuadLanes& modulatorPhase, const QuadLanes& carrierPhase) const
    {
        const QuadLanes m = waveOfPhase<modulator>(modulatorPhase);
        return waveOfPhase<carrier>(carrierPhase + m * depth_);
    }

    double depth_;
    double carrierStep_;
    double modulatorStep_;
    double phase_ = 0;
    double modulatorPhase_ = 0;
};

/// Calls `visit` with the oscillator of `fm` when present (the waveform argument then plays no part),
/// else of `waveform` alone, each as a type of its own.
template <class Visit>
void visitOscillator(const std::optional<FMSettings>& fm, Waveform waveform, Visit&& visit)
{
    if (!fm) {
        switch (waveform) {
        case Waveform::sine: return visit(PlainOscillator<Waveform::sine>{});
        case Waveform::triangle: return visit(PlainOscillator<Waveform::triangle>{});
        case Waveform::saw: return visit(PlainOscillator<Waveform::saw>{});
        case Waveform::square: return visit(PlainOscillator<Waveform::square>{});
        }
        return visit(PlainOscillator<silentWaveform>{});
    }
    const auto withCarrier = [&]<Waveform carrier>() {
        switch (fm->modulator.waveform) {
        case Waveform::sine: return visit(FMOscillator<carrier, Waveform::sine>(*fm));
        case Waveform::triangle: return visit(FMOscillator<carrier, Waveform::triangle>(*fm));
        case Waveform::saw: return visit(FMOscillator<carrier, Waveform::saw>(*fm));
        case Waveform::square: return visit(FMOscillator<carrier, Waveform::square>(*fm));
        }
        return visit(FMOscillator<carrier, silentWaveform>(*fm));
    };
    switch (fm->carrier.waveform) {
    case Waveform::sine: return withCarrier.template operator()<Waveform::sine>();
    case Waveform::triangle: return withCarrier.template operator()<Waveform::triangle>();
    case Waveform::saw: return withCarrier.template operator()<Waveform::saw>();
    case Waveform::square: return withCarrier.template operator()<Waveform::square>();
    }
    withCarrier.template operator()<silentWaveform>();
}

} // namespace veltrane
