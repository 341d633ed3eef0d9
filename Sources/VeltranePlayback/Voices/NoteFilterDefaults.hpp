#pragma once

// The low-pass setting of a built-in note. An instrument without a cutoff or resonance renders at
// 18,000 Hz and 0.7, a gentle top cut rather than an open filter. A note whose filter is modulated while
// it sounds is rendered open (20,000 Hz, 0.7) and filtered afterwards by the modulation pass.

#include "VeltraneCore/Models/Instrument.hpp"

namespace veltrane {

inline constexpr double defaultNoteCutoff = 18000;
inline constexpr double defaultNoteResonance = 0.7;
inline constexpr double openNoteCutoff = 20000;

inline double noteCutoff(const Instrument& instrument) { return instrument.cutoff.value_or(defaultNoteCutoff); }
inline double noteResonance(const Instrument& instrument)
{
    return instrument.resonance.value_or(defaultNoteResonance);
}

/// `instrument` with its filter opened, for a note whose filter the modulation pass applies.
inline Instrument withOpenFilter(Instrument instrument)
{
    instrument.cutoff = openNoteCutoff;
    instrument.resonance = defaultNoteResonance;
    return instrument;
}

} // namespace veltrane
