#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include <array>

namespace veltrane {

namespace {

constexpr double defaultCutoff = 18000;
constexpr double defaultResonance = 0.7;

// The seventeen instrument parameters, in the order they are evaluated.
constexpr std::array<ParameterTarget, 17> instrumentTargets = [] {
    std::array<ParameterTarget, 17> targets{};
    for (int i = 0; i < 17; ++i) targets[static_cast<std::size_t>(i)] = static_cast<ParameterTarget>(i);
    return targets;
}();

// The parameter's current value as a number (a waveform as its position), or nothing when the
// instrument has no such parameter: a waveform on anything but a synth, FM without FM settings.
std::optional<double> parameterOf(const Instrument& instrument, ParameterTarget target)
{
    const FMSettings* fm = instrument.fm ? &*instrument.fm : nullptr;
    switch (target) {
    case ParameterTarget::instrumentVolume: return instrument.volume;
    case ParameterTarget::instrumentPan: return instrument.pan;
    case ParameterTarget::instrumentTune: return instrument.tune;
    case ParameterTarget::instrumentCutoff: return instrument.cutoff.value_or(defaultCutoff);
    case ParameterTarget::instrumentResonance: return instrument.resonance.value_or(defaultResonance);
    case ParameterTarget::instrumentAttack: return instrument.attack;
    case ParameterTarget::instrumentDecay: return instrument.decay;
    case ParameterTarget::instrumentSustain: return instrument.sustain;
    case ParameterTarget::instrumentRelease: return instrument.release;
    case ParameterTarget::instrumentWaveform: {
        const auto* synth = std::get_if<SynthSource>(&instrument.source);
        if (!synth) return std::nullopt;
        return parameterValue(synth->waveform);
    }
    case ParameterTarget::instrumentFMAmount: return fm ? std::optional(fm->amount) : std::nullopt;
    case ParameterTarget::instrumentFMCarrierRatio: return fm ? std::optional(fm->carrier.ratio) : std::nullopt;
    case ParameterTarget::instrumentFMCarrierFine: return fm ? std::optional(fm->carrier.fine) : std::nullopt;
    case ParameterTarget::instrumentFMCarrierWaveform:
        return fm ? std::optional(parameterValue(fm->carrier.waveform)) : std::nullopt;
    case ParameterTarget::instrumentFMModulatorRatio: return fm ? std::optional(fm->modulator.ratio) : std::nullopt;
    case ParameterTarget::instrumentFMModulatorFine: return fm ? std::optional(fm->modulator.fine) : std::nullopt;
    case ParameterTarget::instrumentFMModulatorWaveform:
        return fm ? std::optional(parameterValue(fm->modulator.waveform)) : std::nullopt;
    default: return std::nullopt;
    }
}

// Writes a number back into the parameter that `parameterOf` read; waveforms round to the nearest shape.
void setParameter(Instrument& instrument, ParameterTarget target, double value)
{
    switch (target) {
    case ParameterTarget::instrumentVolume: instrument.volume = value; break;
    case ParameterTarget::instrumentPan: instrument.pan = value; break;
    case ParameterTarget::instrumentTune: instrument.tune = value; break;
    case ParameterTarget::instrumentCutoff: instrument.cutoff = value; break;
    case ParameterTarget::instrumentResonance: instrument.resonance = value; break;
    case ParameterTarget::instrumentAttack: instrument.attack = value; break;
    case ParameterTarget::instrumentDecay: instrument.decay = value; break;
    case ParameterTarget::instrumentSustain: instrument.sustain = value; break;
    case ParameterTarget::instrumentRelease: instrument.release = value; break;
    case ParameterTarget::instrumentWaveform: instrument.source = SynthSource{waveformFromParameter(value)}; break;
    case ParameterTarget::instrumentFMAmount: instrument.fm->amount = value; break;
    case ParameterTarget::instrumentFMCarrierRatio: instrument.fm->carrier.ratio = value; break;
    case ParameterTarget::instrumentFMCarrierFine: instrument.fm->carrier.fine = value; break;
    case ParameterTarget::instrumentFMCarrierWaveform: instrument.fm->carrier.waveform = waveformFromParameter(value); break;
    case ParameterTarget::instrumentFMModulatorRatio: instrument.fm->modulator.ratio = value; break;
    case ParameterTarget::instrumentFMModulatorFine: instrument.fm->modulator.fine = value; break;
    case ParameterTarget::instrumentFMModulatorWaveform:
        instrument.fm->modulator.waveform = waveformFromParameter(value);
        break;
    default: break;
    }
}

} // namespace

Instrument instrumentWithAutomation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    const PlaybackTimeline& timeline)
{
    if (timeline.locks.empty()) return instrument;
    // The lanes built with the timeline, unless its lock events were assembled or changed by hand since.
    if (timeline.instrumentLanes && timeline.instrumentLanes->eventCount() == timeline.locks.size()) {
        return instrumentWithAutomation(instrument, index, track, frame, *timeline.instrumentLanes);
    }
    return instrumentWithAutomation(instrument, index, track, frame, InstrumentLanes(timeline.locks));
}

Instrument instrumentWithAutomation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    const InstrumentLanes& lanes)
{
    Instrument result = instrument;
    for (const ParameterTarget target : instrumentTargets) {
        if (!lanes.has(target, track, index)) continue;
        const auto current = parameterOf(result, target);
        if (!current) continue;
        setParameter(result, target, lanes.value(target, frame, track, index, *current));
    }
    return result;
}

Instrument instrumentWithModulation(const Instrument& instrument, int index, int track, std::int64_t frame,
                                    std::int64_t noteStartFrame, std::int64_t noteDurationFrames,
                                    const Project& project, double sampleRate)
{
    Instrument result = instrument;
    result.cutoff = result.cutoff.value_or(defaultCutoff);
    result.resonance = result.resonance.value_or(defaultResonance);
    if (!project.modulation) return result;
    for (const ParameterTarget target : instrumentTargets) {
        // A parameter that no route reaches keeps its value exactly: passing it through the target's
        // range would cut a 10-second release, which a file may hold, to the 2 seconds a route can reach.
        if (!hasModulation(target, track, index, project)) continue;
        const auto current = parameterOf(result, target);
        if (!current) continue;
        setParameter(result, target,
                     modulatedValue(target, *current, frame, noteStartFrame, noteDurationFrames, track, index,
                                    project, sampleRate));
    }
    return result;
}

double busParameterValue(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track,
                         const Project& project, const PlaybackTimeline& timeline,
                         const AutomationEvaluator* evaluator, std::optional<std::int64_t> noteStartFrame,
                         std::optional<std::int64_t> noteDurationFrames)
{
    // Bus lanes and bus modulation restart with every loop cycle.
    const std::int64_t cycleFrame = timeline.totalFrames >= 1 ? frame % timeline.totalFrames : 0;

    double value = base;
    if (evaluator) {
        if (evaluator->has(target, track)) value = evaluator->value(target, cycleFrame, track, base);
    } else if (hasAutomation(target, track, std::nullopt, timeline)) {
        value = automationValue(target, cycleFrame, track, std::nullopt, base, timeline);
    }
    if (!project.modulation) return value;

    // Without a note given, envelopes run from the last note on the track that has started by now.
    std::optional<std::int64_t> start = noteStartFrame;
    std::optional<std::int64_t> length = noteDurationFrames;
    if (!start) {
        for (auto note = timeline.notes.rbegin(); note != timeline.notes.rend(); ++note) {
            if (note->startFrame > cycleFrame || (track && note->track != *track)) continue;
            start = note->startFrame;
            if (!length) length = note->durationFrames;
            break;
        }
    }
    return modulatedBusValue(target, value, cycleFrame, start.value_or(cycleFrame), length.value_or(1), track,
                             project, timeline.sampleRate);
}

} // namespace veltrane
