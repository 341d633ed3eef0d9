#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"

#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"

#include <algorithm>
#include <utility>

namespace veltrane {

MasterFX effectiveMasterSettings(const Project& project)
{
    MasterFX settings = project.masterFX.value_or(MasterFX{});
    if (!settings.bitDepth) settings.bitDepth = 16.0;
    return settings;
}

MixerTrack effectiveTrackSettings(const Project& project, int index)
{
    if (index >= 0 && index < static_cast<int>(project.mixer.size())) return project.mixer[static_cast<std::size_t>(index)];
    return MixerTrack{};
}

namespace {

// Each strip renders in a graph of its own, ahead of this one, on the render's other threads.
MixdownOptions exportOptions(int stripCount)
{
    MixdownOptions options = MixdownOptions::exportRender(stripCount);
    options.stripRendering = MixdownOptions::StripRendering::apart;
    return options;
}

} // namespace

int offlineTrackCount(const Project& project)
{
    int count = 0;
    for (const Pattern& pattern : project.patterns) count = std::max(count, pattern.channels);
    return std::max(count, 1);
}

OfflineMixdownGraph::OfflineMixdownGraph(const Project& project, const PlaybackTimeline& timeline,
                                         std::optional<int> soloTrack, OfflineUnitSource& units)
    : MixdownGraph(exportOptions(offlineTrackCount(project))), soloTrack_(soloTrack)
{
    setMasterInserts(makeInserts(effectiveMasterSettings(project).audioUnits, units));
    applySettings(project, soloTrack);
    neutralizeDrivenBuses([&](ParameterTarget target, std::optional<int> track) {
        return BusAutomation::isDriven(target, track, project, timeline);
    });
    for (int index = 0; index < stripCount(); ++index) {
        setStripInserts(index, makeInserts(effectiveTrackSettings(project, index).audioUnits, units));
        connectStrip(index);
    }
}

std::vector<std::shared_ptr<AudioEffectNode>> OfflineMixdownGraph::makeInserts(
    const std::optional<std::vector<AudioUnitSlot>>& slots, OfflineUnitSource& units)
{
    std::vector<std::shared_ptr<AudioEffectNode>> made;
    for (const AudioUnitSlot& slot : slots.value_or(std::vector<AudioUnitSlot>{})) {
        std::shared_ptr<AudioEffectNode> unit;
        try {
            unit = units.effect(slot.reference, slot.state);
        } catch (...) {
            // The user needs to know which plug-in; why it failed is the plug-in's business.
            throw RenderError::audioUnit(slot.reference.name);
        }
        if (!unit) throw RenderError::audioUnit(slot.reference.name);
        unit->setBypassed(slot.bypassed);
        made.push_back(std::move(unit));
    }
    return made;
}

std::shared_ptr<AudioMIDIInstrumentNode> OfflineMixdownGraph::addInstrument(int track,
                                                                           const AudioUnitReference& reference,
                                                                           const std::optional<Data>& state,
                                                                           OfflineUnitSource& units)
{
    std::shared_ptr<AudioMIDIInstrumentNode> unit;
    try {
        unit = units.instrument(reference, state);
    } catch (...) {
        throw RenderError::audioUnit(reference.name);
    }
    if (!unit || track < 0 || track >= stripCount()) throw RenderError::audioUnit(reference.name);
    attachInstrument(track, unit);
    return unit;
}

void OfflineMixdownGraph::startVoices()
{
    for (auto& strip : strips()) {
        for (auto& voice : strip.voices) voice->play(0);
    }
}

} // namespace veltrane
