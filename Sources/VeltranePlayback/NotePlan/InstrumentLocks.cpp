#include "VeltranePlayback/NotePlan/InstrumentLocks.hpp"

namespace veltrane {

namespace {

void applyLock(const ParameterLock& lock, Instrument& instrument)
{
    const ParameterTarget target = lock.target;
    const double value = clamped(target, lock.value);
    switch (target) {
    case ParameterTarget::instrumentVolume: instrument.volume = value; return;
    case ParameterTarget::instrumentPan: instrument.pan = value; return;
    case ParameterTarget::instrumentTune: instrument.tune = value; return;
    case ParameterTarget::instrumentCutoff: instrument.cutoff = value; return;
    case ParameterTarget::instrumentResonance: instrument.resonance = value; return;
    case ParameterTarget::instrumentAttack: instrument.attack = value; return;
    case ParameterTarget::instrumentDecay: instrument.decay = value; return;
    case ParameterTarget::instrumentSustain: instrument.sustain = value; return;
    case ParameterTarget::instrumentRelease: instrument.release = value; return;
    case ParameterTarget::instrumentWaveform:
        if (auto* synth = std::get_if<SynthSource>(&instrument.source)) synth->waveform = waveformFromParameter(lock.value);
        return;
    default: break;
    }
    if (!instrument.fm) return;
    FMSettings& fm = *instrument.fm;
    switch (target) {
    case ParameterTarget::instrumentFMAmount: fm.amount = value; return;
    case ParameterTarget::instrumentFMCarrierRatio: fm.carrier.ratio = value; return;
    case ParameterTarget::instrumentFMCarrierFine: fm.carrier.fine = value; return;
    case ParameterTarget::instrumentFMCarrierWaveform: fm.carrier.waveform = waveformFromParameter(lock.value); return;
    case ParameterTarget::instrumentFMModulatorRatio: fm.modulator.ratio = value; return;
    case ParameterTarget::instrumentFMModulatorFine: fm.modulator.fine = value; return;
    case ParameterTarget::instrumentFMModulatorWaveform:
        fm.modulator.waveform = waveformFromParameter(lock.value);
        return;
    default: return; // track and master targets
    }
}

} // namespace

void applyInstrumentLocks(std::span<const ParameterLock> locks, Instrument& instrument)
{
    for (const auto& lock : locks) applyLock(lock, instrument);
}

} // namespace veltrane
