#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"

#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include <algorithm>

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

int offlineTrackCount(const Project& project)
{
    int count = 0;
    for (const Pattern& pattern : project.patterns) count = std::max(count, pattern.channels);
    return std::max(count, 1);
}

bool isBusParameterDriven(ParameterTarget target, std::optional<int> track, const Project& project,
                          const PlaybackTimeline& timeline)
{
    return hasAutomation(target, track, std::nullopt, timeline) || hasModulation(target, track, project);
}

void applyTrackDrive(AudioDistortionNode& node, double drive)
{
    node.setPreGain(stripDrivePreGain(drive));
    node.setWetDryMix(stripDriveWetDryMix(drive));
}

void applyMasterDrive(AudioDistortionNode& node, double drive)
{
    node.setPreGain(masterDrivePreGain(drive));
    node.setWetDryMix(masterDriveWetDryMix(drive));
}

void applyBitCrusherMix(AudioBitCrusherNode& node, double bitDepth)
{
    node.setWetDryMix(crusherSettings(bitDepth).wetDryMix);
}

void applyBitCrusherDepth(AudioBitCrusherNode& node, double bitDepth)
{
    const CrusherSettings settings = crusherSettings(bitDepth);
    node.setRounding(settings.rounding);
    node.setDecimationMix(settings.decimationMix);
}

OfflineMixdownGraph::OfflineMixdownGraph(const Project& project, const PlaybackTimeline& timeline,
                                         std::optional<int> soloTrack, OfflineUnitSource& units)
    : graph_(std::make_unique<AudioGraph>(sampleRate, blockFrames)), soloTrack_(soloTrack)
{
    buildMaster(project, timeline, units);
    const bool someTrackSoloed =
        std::any_of(project.mixer.begin(), project.mixer.end(), [](const MixerTrack& track) { return track.solo; });
    const int trackCount = offlineTrackCount(project);
    strips_.resize(static_cast<std::size_t>(trackCount));
    for (int index = 0; index < trackCount; ++index) buildStrip(index, project, timeline, someTrackSoloed, units);
}

std::shared_ptr<AudioEffectNode> OfflineMixdownGraph::makeInsert(const AudioUnitSlot& slot, OfflineUnitSource& units)
{
    std::shared_ptr<AudioEffectNode> unit;
    try {
        unit = units.effect(slot.reference, slot.state);
    } catch (...) {
        // The user needs to know which plug-in; why it failed is the plug-in's business.
        throw RenderError::audioUnit(slot.reference.name);
    }
    if (!unit) throw RenderError::audioUnit(slot.reference.name);
    unit->setBypassed(slot.bypassed);
    graph_->attach(unit);
    return unit;
}

void OfflineMixdownGraph::buildMaster(const Project& project, const PlaybackTimeline& timeline,
                                      OfflineUnitSource& units)
{
    AudioGraph& graph = *graph_;
    const MasterFX settings = effectiveMasterSettings(project);
    const auto driven = [&](ParameterTarget target) {
        return isBusParameterDriven(target, std::nullopt, project, timeline);
    };

    master_.bus = graph.attachNew<AudioMixerNode>();
    master_.filter = graph.attachNew<AudioEQNode>();
    master_.drive = graph.attachNew<AudioDistortionNode>();
    master_.crusher = graph.attachNew<AudioBitCrusherNode>();
    master_.delay = graph.attachNew<AudioDelayNode>();
    master_.reverb = graph.attachNew<AudioReverbNode>();
    master_.limiter = graph.attachNew<AudioPeakLimiterNode>();
    graph.connect(*master_.bus, *master_.filter);
    graph.connect(*master_.filter, *master_.drive);
    graph.connect(*master_.drive, *master_.crusher);
    graph.connect(*master_.crusher, *master_.delay);
    graph.connect(*master_.delay, *master_.reverb);
    AudioNode* previous = master_.reverb.get();
    for (const AudioUnitSlot& slot : settings.audioUnits.value_or(std::vector<AudioUnitSlot>{})) {
        auto unit = makeInsert(slot, units);
        graph.connect(*previous, *unit);
        previous = unit.get();
        master_.inserts.push_back(std::move(unit));
    }
    graph.connect(*previous, *master_.limiter);
    graph.connect(*master_.limiter, graph.mainMixer());

    const bool filterDriven = driven(ParameterTarget::masterCutoff) || driven(ParameterTarget::masterResonance);
    master_.filter->setFrequency(static_cast<float>(filterDriven ? neutralCutoff : settings.cutoff));
    master_.filter->setBandwidth(static_cast<float>(filterDriven ? neutralResonance : settings.resonance));
    applyMasterDrive(*master_.drive, settings.drive);
    if (driven(ParameterTarget::masterDrive)) master_.drive->setWetDryMix(0);
    const double bitDepth = *settings.bitDepth;
    applyBitCrusherMix(*master_.crusher, bitDepth);
    if (driven(ParameterTarget::masterBitDepth)) master_.crusher->setWetDryMix(0);
    applyBitCrusherDepth(*master_.crusher, bitDepth);
    master_.delay->setDelayTime(settings.delayTime);
    master_.delay->setFeedback(static_cast<float>(settings.delayFeedback));
    master_.delay->setWetDryMix(driven(ParameterTarget::masterDelay) ? 0.0f : static_cast<float>(settings.delayMix * 100));
    master_.reverb->setWetDryMix(driven(ParameterTarget::masterReverb) ? 0.0f
                                                                       : static_cast<float>(settings.reverbMix * 100));
    graph.mainMixer().setOutputVolume(driven(ParameterTarget::masterVolume) ? 1.0f
                                                                            : static_cast<float>(project.masterVolume));
}

void OfflineMixdownGraph::buildStrip(int index, const Project& project, const PlaybackTimeline& timeline,
                                     bool someTrackSoloed, OfflineUnitSource& units)
{
    AudioGraph& graph = *graph_;
    OfflineTrackStrip& strip = strips_[static_cast<std::size_t>(index)];
    const MixerTrack settings = effectiveTrackSettings(project, index);
    const auto driven = [&](ParameterTarget target) { return isBusParameterDriven(target, index, project, timeline); };

    strip.mixer = graph.attachNew<AudioMixerNode>();
    strip.filter = graph.attachNew<AudioEQNode>();
    strip.drive = graph.attachNew<AudioDistortionNode>();
    graph.connect(*strip.mixer, *strip.filter);
    graph.connect(*strip.filter, *strip.drive);

    if (soloTrack_) {
        strip.audible = index == *soloTrack_;
    } else {
        strip.audible = !settings.muted && !(someTrackSoloed && !settings.solo);
    }
    if (!strip.audible) {
        strip.mixer->setOutputVolume(0);
    } else {
        strip.mixer->setOutputVolume(driven(ParameterTarget::trackVolume) ? 1.0f : static_cast<float>(settings.volume));
    }
    strip.mixer->setPan(driven(ParameterTarget::trackPan) ? 0.0f : static_cast<float>(settings.pan));
    const bool filterDriven = driven(ParameterTarget::trackCutoff) || driven(ParameterTarget::trackResonance);
    strip.filter->setFrequency(static_cast<float>(filterDriven ? neutralCutoff : settings.cutoff.value_or(neutralCutoff)));
    strip.filter->setBandwidth(
        static_cast<float>(filterDriven ? neutralResonance : settings.resonance.value_or(neutralResonance)));
    applyTrackDrive(*strip.drive, settings.drive.value_or(0));
    if (driven(ParameterTarget::trackDrive)) strip.drive->setWetDryMix(0);

    AudioNode* previous = strip.drive.get();
    for (const AudioUnitSlot& slot : settings.audioUnits.value_or(std::vector<AudioUnitSlot>{})) {
        auto unit = makeInsert(slot, units);
        graph.connect(*previous, *unit);
        previous = unit.get();
        strip.inserts.push_back(std::move(unit));
    }
    graph.connect(*previous, *master_.bus);

    for (auto& voice : strip.voices) {
        voice = graph.attachNew<AudioPlayerNode>();
        graph.connect(*voice, *strip.mixer);
    }
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
    if (!unit || track < 0 || track >= static_cast<int>(strips_.size())) throw RenderError::audioUnit(reference.name);
    graph_->attach(unit);
    graph_->connect(*unit, *strips_[static_cast<std::size_t>(track)].mixer);
    return unit;
}

void OfflineMixdownGraph::startVoices()
{
    for (auto& strip : strips_) {
        for (auto& voice : strip.voices) voice->play(0);
    }
}

std::int64_t OfflineMixdownGraph::latencyFrames() const noexcept
{
    // Every sound passes the whole master chain; the strips before it delay nothing.
    std::int64_t frames = 0;
    for (const AudioNode* node : std::initializer_list<const AudioNode*>{
             master_.bus.get(), master_.filter.get(), master_.drive.get(), master_.crusher.get(),
             master_.delay.get(), master_.reverb.get(), master_.limiter.get()})
        frames += node->latencyFrames();
    for (const auto& insert : master_.inserts) frames += insert->latencyFrames();
    return frames;
}

} // namespace veltrane
