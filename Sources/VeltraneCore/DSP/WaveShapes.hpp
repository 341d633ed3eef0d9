#pragma once

// The four periodic shapes on a phase fraction (0 to 1), one value or a vector of them with the same
// arithmetic in each lane. The synth's oscillators and the modulation LFOs both draw them from here, so
// a shape is the same curve wherever it is heard.
//
//     waveAt<Waveform::triangle>(0.25)      0

#include "VeltraneCore/DSP/CycleSine.hpp"
#include "VeltraneCore/Models/Waveform.hpp"

#include <cmath>

namespace veltrane {

/// The waveform's value at the phase fraction `x` (0 to 1): sine sin(2πx); triangle 1 at 0 and -1 at
/// one half; saw rising from -1 to 1; square 1 for the first half and -1 for the second.
template <Waveform waveform>
inline double waveAt(double x)
{
    if constexpr (waveform == Waveform::sine) return sineOfPhase(x);
    if constexpr (waveform == Waveform::triangle) return 1 - 4 * std::abs((x < 0.5 ? 0.0 : 1.0) - x);
    if constexpr (waveform == Waveform::saw) return 2 * x - 1;
    if constexpr (waveform == Waveform::square) return x < 0.5 ? 1.0 : -1.0;
    return 0;
}

/// `waveAt` on two or four phase fractions at once, with the same arithmetic in each lane.
template <Waveform waveform, Lanes V>
inline V waveAt(const V& x)
{
    const V zero{};
    if constexpr (waveform == Waveform::sine) return sineOfPhase(x);
    if constexpr (waveform == Waveform::triangle) {
        const V distance = (x < 0.5 ? zero : zero + 1) - x;
        return 1 - 4 * (distance < 0 ? -distance : distance);
    }
    if constexpr (waveform == Waveform::saw) return 2 * x - 1;
    if constexpr (waveform == Waveform::square) return x < 0.5 ? zero + 1 : zero - 1;
    return zero;
}

} // namespace veltrane
