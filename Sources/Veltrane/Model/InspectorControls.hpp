#pragma once

// The inspector's sliders that are bound to one number of the project: which field each writes, and
// the value it shows while that field is absent. The model stores what a control delivers (see
// `AppModel::setInstrumentControl` and its neighbours); these functions are the one place that knows
// the field behind each control.
//
//     slider.setValue(controlValue(project.instruments[i], InstrumentControl::cutoff));  // 18000 if absent
//     model.setInstrumentControl(i, InstrumentControl::cutoff, slider.value());

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/MixerTrack.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>

namespace veltrane {

/// The Instrument tab's sliders.
enum class InstrumentControl : std::uint8_t { volume, pan, tune, attack, decay, sustain, release, cutoff, resonance };

/// The Mixer tab's sliders of the cursor track's strip ("Level", "Pan" and the insert filter and drive).
enum class MixerControl : std::uint8_t { level, pan, cutoff, resonance, drive };

/// The Master tab's sliders: the master volume, the master effects and swing.
enum class MasterControl : std::uint8_t {
    volume,
    cutoff,
    resonance,
    drive,
    bitDepth,
    delayMix,
    delayTime,
    delayFeedback,
    reverbMix,
    swing,
};

/// What the control shows: the field, or while an optional field is absent, cutoff 18000 and
/// resonance 0.7.
double controlValue(const Instrument& instrument, InstrumentControl control);
/// Stores `value` in the field; an optional field becomes present.
void setControl(Instrument& instrument, InstrumentControl control, double value);

/// What the control shows: the field, or while absent, cutoff 20000, resonance 0.7 and drive 0.
double controlValue(const MixerTrack& track, MixerControl control);
void setControl(MixerTrack& track, MixerControl control, double value);

/// What the control shows: the project's field, the master effects of `MasterFX()` while the project has
/// none (bit depth 16 while absent), and swing 0 while absent.
double controlValue(const Project& project, MasterControl control);

/// Stores `value` in one master effect field; "Bit Depth" keeps the nearest whole number (halves away from
/// zero). Only for the master effect controls: `volume` and `swing` are project fields.
void setMasterFXControl(MasterFX& fx, MasterControl control, double value);

} // namespace veltrane
