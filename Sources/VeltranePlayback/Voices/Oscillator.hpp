#pragma once

// The built-in synthesizer's oscillator: one of four waveforms, or two operators in frequency modulation.
// Phases count cycles and start at 0; each step advances the phase before it is read, so the first frame
// of a note is already one step into the cycle.
//
//     waveSample(Waveform::square, 0.25)      1
//     NoteOscillator osc(instrument.fm, Waveform::saw);
//     osc.next(440.0 / 48000)                 one sample at 440 Hz, 48 kHz
//
// Everything here is arithmetic on doubles: no allocation, no state beyond the two phases.

#include "VeltraneCore/Models/FMSettings.hpp"
#include "VeltraneCore/Models/Waveform.hpp"

#include <cmath>
#include <numbers>
#include <optional>

namespace veltrane {

/// The waveform's value at the phase fraction `x` (0 to 1): sine sin(2πx); triangle 1 at 0 and -1 at
/// one half; saw rising from -1 to 1; square 1 for the first half and -1 for the second.
inline double waveSample(Waveform waveform, double x)
{
    switch (waveform) {
    case Waveform::sine: return std::sin(2 * std::numbers::pi * x);
    case Waveform::triangle: return 1 - 4 * std::abs(std::round(x) - x);
    case Waveform::saw: return 2 * x - 1;
    case Waveform::square: return x < 0.5 ? 1.0 : -1.0;
    }
    return 0;
}

/// The fractional part of a phase in cycles.
inline double phaseFraction(double phase) { return phase - std::floor(phase); }

class NoteOscillator {
public:
    /// Plays `fm` when present (the waveform argument then plays no part), else `waveform` alone.
    NoteOscillator(const std::optional<FMSettings>& fm, Waveform waveform) : waveform_(waveform)
    {
        if (fm) {
            fm_ = true;
            amount_ = fm->amount;
            carrierWaveform_ = fm->carrier.waveform;
            modulatorWaveform_ = fm->modulator.waveform;
            // Fine tune is in cents; the ratios set each operator's frequency against the note's.
            carrierStep_ = std::exp2(fm->carrier.fine / 1200) * fm->carrier.ratio;
            modulatorStep_ = std::exp2(fm->modulator.fine / 1200) * fm->modulator.ratio;
        }
    }

    /// Advances by `cycles` (the frequency divided by the sample rate) and returns the next sample.
    double next(double cycles)
    {
        if (!fm_) {
            phase_ += cycles;
            return waveSample(waveform_, phaseFraction(phase_));
        }
        modulatorPhase_ += modulatorStep_ * cycles;
        const double m = waveSample(modulatorWaveform_, phaseFraction(modulatorPhase_));
        phase_ += carrierStep_ * cycles;
        // The modulator moves the carrier's phase by up to 12 / 2π cycles (12 radians) at amount 1.
        const double q = phase_ + amount_ * m * 12 / (2 * std::numbers::pi);
        return waveSample(carrierWaveform_, phaseFraction(q));
    }

private:
    Waveform waveform_;
    bool fm_ = false;
    double amount_ = 0;
    Waveform carrierWaveform_ = Waveform::sine;
    Waveform modulatorWaveform_ = Waveform::sine;
    double carrierStep_ = 1;
    double modulatorStep_ = 1;
    double phase_ = 0;
    double modulatorPhase_ = 0;
};

} // namespace veltrane
