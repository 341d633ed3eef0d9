#pragma once

// A cell's parameter locks applied to the instrument that plays its note. Each lock writes one field, in
// the order of the locks, so a later lock of the same target wins. Values are held to the target's range;
// cutoff and resonance become present even where the instrument had none. The waveform lock acts only on
// a synth source, the seven FM locks only on an instrument with FM settings. Track and master locks are
// passed over: they reach the buses, not the note.
//
//     applyInstrumentLocks(event.locks, instrument);
//
// Live playback and the export prepare every note through this one function.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ParameterLock.hpp"

#include <span>

namespace veltrane {

void applyInstrumentLocks(std::span<const ParameterLock> locks, Instrument& instrument);

} // namespace veltrane
