#include "VeltranePlayback/NotePlan/HostedNoteMIDI.hpp"

#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/NotePlan/NotePreparation.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>

namespace veltrane {

namespace {

constexpr double rate = OfflineNoteRendering::sampleRate;

std::uint8_t midiValue(double value, std::int64_t lowest = 0)
{
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(roundHalfAwayFromZero(value), lowest, 127));
}

std::uint8_t controllerValue(ParameterTarget target, double value)
{
    return midiValue(normalized(target, value) * 127);
}

struct Controller {
    ParameterTarget target;
    std::uint8_t number;
};

// The controllers a hosted instrument follows, in the order they are sent.
constexpr std::array<Controller, 4> controllers{{
    {ParameterTarget::instrumentVolume, 7},
    {ParameterTarget::instrumentPan, 10},
    {ParameterTarget::instrumentCutoff, 74},
    {ParameterTarget::instrumentResonance, 71},
}};

double parameterOf(const Instrument& instrument, ParameterTarget target)
{
    switch (target) {
    case ParameterTarget::instrumentVolume: return instrument.volume;
    case ParameterTarget::instrumentPan: return instrument.pan;
    case ParameterTarget::instrumentCutoff: return noteCutoff(instrument);
    case ParameterTarget::instrumentResonance: return noteResonance(instrument);
    default: return 0;
    }
}

} // namespace

HostedNoteStart hostedNoteStart(int note, double volume, double pan, const Instrument& start)
{
    return HostedNoteStart{
        .note = midiValue(note + start.tune),
        .velocity = midiValue(volume * 127, 1),
        .volume = midiValue(start.volume * 127),
        .pan = midiValue((pan + 1) * 63.5),
        .cutoff = controllerValue(ParameterTarget::instrumentCutoff, noteCutoff(start)),
        .resonance = controllerValue(ParameterTarget::instrumentResonance, noteResonance(start)),
    };
}

void hostedControlChanges(std::int64_t frame, std::int64_t gateFrames, int track, int instrumentIndex,
                          const Instrument& base, const Project& project, double sampleRate,
                          const std::function<void(std::int64_t, std::uint8_t, std::uint8_t)>& send)
{
    std::array<Controller, controllers.size()> moving{};
    std::size_t count = 0;
    for (const Controller& controller : controllers) {
        if (hasModulation(controller.target, track, instrumentIndex, project)) moving[count++] = controller;
    }
    if (count == 0) return;
    // 24 updates a beat.
    const std::int64_t step =
        std::max<std::int64_t>(roundHalfAwayFromZero(sampleRate * 60 / project.bpm / 24), 1);
    for (std::int64_t offset = 0; offset <= gateFrames; offset += step) {
        for (std::size_t i = 0; i < count; ++i) {
            const Controller& controller = moving[i];
            const double value = modulatedValue(controller.target, parameterOf(base, controller.target), frame + offset,
                                                frame, gateFrames, track, instrumentIndex, project, sampleRate);
            send(frame + offset, controller.number, controllerValue(controller.target, value));
        }
    }
}

std::int64_t hostedNoteOffFrame(const RenderEvent& event)
{
    return framesForSeconds(event.start, rate) + framesForSeconds(event.gateDuration, rate);
}

std::vector<ScheduledMIDIMessage> hostedNoteMIDI(const RenderEvent& event, const Project& project,
                                                 const PlaybackTimeline& timeline)
{
    if (event.instrument < 0 || event.instrument >= static_cast<int>(project.instruments.size())) return {};
    const std::int64_t startFrame = framesForSeconds(event.start, rate);
    const std::int64_t gateFrames = framesForSeconds(event.gateDuration, rate);
    // The export prepares each strike's instrument at the strike's own start.
    const auto [base, start] =
        prepareNoteInstrument(project.instruments[static_cast<std::size_t>(event.instrument)], event.instrument,
                              event.track, event.locks, startFrame, gateFrames, project, timeline, rate);

    const HostedNoteStart values = hostedNoteStart(event.note, event.volume, event.pan, start);
    std::vector<ScheduledMIDIMessage> messages{
        {startFrame, {0xB0, 7, values.volume}},
        {startFrame, {0xB0, 10, values.pan}},
        {startFrame, {0xB0, 74, values.cutoff}},
        {startFrame, {0xB0, 71, values.resonance}},
        {startFrame, {0x90, values.note, values.velocity}},
        {startFrame + gateFrames, {0x80, values.note, 0}},
    };
    hostedControlChanges(startFrame, gateFrames, event.track, event.instrument, base, project, rate,
                         [&](std::int64_t frame, std::uint8_t controller, std::uint8_t value) {
                             messages.push_back({frame, {0xB0, controller, value}});
                         });
    return messages;
}

} // namespace veltrane
