#include "Veltrane/Model/InspectorControls.hpp"

#include <cmath>

namespace veltrane {

double controlValue(const Instrument& instrument, InstrumentControl control)
{
    switch (control) {
    case InstrumentControl::volume: return instrument.volume;
    case InstrumentControl::pan: return instrument.pan;
    case InstrumentControl::tune: return instrument.tune;
    case InstrumentControl::attack: return instrument.attack;
    case InstrumentControl::decay: return instrument.decay;
    case InstrumentControl::sustain: return instrument.sustain;
    case InstrumentControl::release: return instrument.release;
    case InstrumentControl::cutoff: return instrument.cutoff.value_or(18000);
    case InstrumentControl::resonance: return instrument.resonance.value_or(0.7);
    }
    return 0;
}

void setControl(Instrument& instrument, InstrumentControl control, double value)
{
    switch (control) {
    case InstrumentControl::volume: instrument.volume = value; return;
    case InstrumentControl::pan: instrument.pan = value; return;
    case InstrumentControl::tune: instrument.tune = value; return;
    case InstrumentControl::attack: instrument.attack = value; return;
    case InstrumentControl::decay: instrument.decay = value; return;
    case InstrumentControl::sustain: instrument.sustain = value; return;
    case InstrumentControl::release: instrument.release = value; return;
    case InstrumentControl::cutoff: instrument.cutoff = value; return;
    case InstrumentControl::resonance: instrument.resonance = value; return;
    }
}

double controlValue(const MixerTrack& track, MixerControl control)
{
    switch (control) {
    case MixerControl::level: return track.volume;
    case MixerControl::pan: return track.pan;
    case MixerControl::cutoff: return track.cutoff.value_or(20000);
    case MixerControl::resonance: return track.resonance.value_or(0.7);
    case MixerControl::drive: return track.drive.value_or(0);
    }
    return 0;
}

void setControl(MixerTrack& track, MixerControl control, double value)
{
    switch (control) {
    case MixerControl::level: track.volume = value; return;
    case MixerControl::pan: track.pan = value; return;
    case MixerControl::cutoff: track.cutoff = value; return;
    case MixerControl::resonance: track.resonance = value; return;
    case MixerControl::drive: track.drive = value; return;
    }
}

double controlValue(const Project& project, MasterControl control)
{
    const MasterFX fx = project.masterFX.value_or(MasterFX{});
    switch (control) {
    case MasterControl::volume: return project.masterVolume;
    case MasterControl::cutoff: return fx.cutoff;
    case MasterControl::resonance: return fx.resonance;
    case MasterControl::drive: return fx.drive;
    case MasterControl::bitDepth: return fx.bitDepth.value_or(16);
    case MasterControl::delayMix: return fx.delayMix;
    case MasterControl::delayTime: return fx.delayTime;
    case MasterControl::delayFeedback: return fx.delayFeedback;
    case MasterControl::reverbMix: return fx.reverbMix;
    case MasterControl::swing: return project.swing.value_or(0);
    }
    return 0;
}

void setMasterFXControl(MasterFX& fx, MasterControl control, double value)
{
    switch (control) {
    case MasterControl::cutoff: fx.cutoff = value; return;
    case MasterControl::resonance: fx.resonance = value; return;
    case MasterControl::drive: fx.drive = value; return;
    case MasterControl::bitDepth: fx.bitDepth = std::round(value); return; // std::round takes halves away from zero
    case MasterControl::delayMix: fx.delayMix = value; return;
    case MasterControl::delayTime: fx.delayTime = value; return;
    case MasterControl::delayFeedback: fx.delayFeedback = value; return;
    case MasterControl::reverbMix: fx.reverbMix = value; return;
    case MasterControl::volume:
    case MasterControl::swing: return; // project fields, not master effects
    }
}

} // namespace veltrane
