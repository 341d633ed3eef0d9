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
    const auto [base, start] =
        prepareNoteInstrument(project.instruments[static_cast<std::size_t>(event.instrument)], event.instrument,
                              event.track, event.locks, startFrame, gateFrames, project, timeline, rate);

    const std::uint8_t note = midiValue(event.note + start.tune);
    std::vector<ScheduledMIDIMessage> messages{
        {startFrame, {0xB0, 7, midiValue(start.volume * 127)}},
        {startFrame, {0xB0, 10, midiValue((event.pan + 1) * 63.5)}},
        {startFrame, {0xB0, 74, controllerValue(ParameterTarget::instrumentCutoff, noteCutoff(start))}},
        {startFrame, {0xB0, 71, controllerValue(ParameterTarget::instrumentResonance, noteResonance(start))}},
        {startFrame, {0x90, note, midiValue(event.volume * 127, 1)}},
        {startFrame + gateFrames, {0x80, note, 0}},
    };

    std::vector<Controller> moving;
    for (const Controller& controller : controllers) {
        if (hasModulation(controller.target, event.track, event.instrument, project)) moving.push_back(controller);
    }
    if (moving.empty()) return messages;
    // 24 updates a beat: 2,646,000 is 44,100 frames × 60 seconds.
    const std::int64_t step = std::max<std::int64_t>(roundHalfAwayFromZero(2646000.0 / project.bpm / 24), 1);
    for (std::int64_t offset = 0; offset <= gateFrames; offset += step) {
        for (const Controller& controller : moving) {
            const double value =
                modulatedValue(controller.target, parameterOf(base, controller.target), startFrame + offset, startFrame,
                               gateFrames, event.track, event.instrument, project, rate);
            messages.push_back({startFrame + offset, {0xB0, controller.number, controllerValue(controller.target, value)}});
        }
    }
    return messages;
}

} // namespace veltrane
