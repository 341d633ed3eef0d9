#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"

#include "VeltranePlayback/Mixdown/MixerSettings.hpp"

#include <initializer_list>
#include <utility>

namespace veltrane {

MixdownOptions MixdownOptions::live(double sampleRate, int maximumFrames)
{
    return MixdownOptions{
        .sampleRate = sampleRate,
        .maximumFrames = maximumFrames,
        .stripCount = liveStripCount,
        .auditionVoices = liveAuditionVoices,
        .clockAndMetronome = true,
        .transportRateStage = true,
        .meters = true,
        .limiterTimes = LimiterTimes{.attack = 0.001f, .decay = 0.08f},
    };
}

MixdownOptions MixdownOptions::exportRender(int stripCount)
{
    return MixdownOptions{
        .sampleRate = exportSampleRate,
        .maximumFrames = exportBlockFrames,
        .stripCount = stripCount,
    };
}

MixdownGraph::MixdownGraph(const MixdownOptions& options)
    : options_(options), graph_(options.sampleRate, options.maximumFrames)
{
    MixdownMaster& m = master_;
    graph_.attach(m.bus);
    if (options.stripRendering == MixdownOptions::StripRendering::apart) {
        m.strips = graph_.attachNew<AudioFeedNode>();
        graph_.connect(*m.strips, *m.bus);
    }
    if (options.clockAndMetronome) {
        m.clockPlayer = graph_.attachNew<AudioPlayerNode>();
        m.metronomePlayer = graph_.attachNew<AudioPlayerNode>();
        graph_.connect(*m.clockPlayer, *m.bus);
        graph_.connect(*m.metronomePlayer, *m.bus);
        // The clock player only carries the transport's clock and the cycle markers: it is never heard.
        m.clockPlayer->setVolume(0);
    }
    for (const auto& node : std::initializer_list<std::shared_ptr<AudioNode>>{m.filter, m.drive, m.crusher, m.delay, m.reverb}) {
        graph_.attach(node);
    }
    if (options.transportRateStage) m.timePitch = graph_.attachNew<AudioTimePitchNode>();
    graph_.attach(m.limiter);
    if (options.limiterTimes) {
        m.limiter->setAttackTime(options.limiterTimes->attack);
        m.limiter->setDecayTime(options.limiterTimes->decay);
    }

    graph_.connect(*m.bus, *m.filter);
    graph_.connect(*m.filter, *m.drive);
    graph_.connect(*m.drive, *m.crusher);
    graph_.connect(*m.crusher, *m.delay);
    graph_.connect(*m.delay, *m.reverb);
    graph_.connect(*m.reverb, afterMasterInserts());
    if (m.timePitch) graph_.connect(*m.timePitch, *m.limiter);
    graph_.connect(*m.limiter, graph_.mainMixer());
    if (options.meters) m.bus->installLevelTap();

    strips_.resize(static_cast<std::size_t>(std::max(options.stripCount, 0)));
    for (MixdownStrip& strip : strips_) {
        for (auto& voice : strip.voices) voice = std::make_shared<AudioPlayerNode>();
        for (int i = 0; i < options.auditionVoices; ++i) strip.auditionVoices.push_back(std::make_shared<AudioPlayerNode>());
    }

    applySettings(Project{.instruments = {}, .mixer = {}});
}

AudioNode& MixdownGraph::afterMasterInserts() noexcept
{
    if (master_.timePitch) return *master_.timePitch;
    return *master_.limiter;
}

AudioGraph& MixdownGraph::stripGraph(MixdownStrip& strip)
{
    if (options_.stripRendering == MixdownOptions::StripRendering::inGraph) return graph_;
    if (!strip.apart) strip.apart = std::make_shared<AudioGraph>(options_.sampleRate, options_.maximumFrames);
    return *strip.apart;
}

AudioNode& MixdownGraph::stripEnd(MixdownStrip& strip)
{
    if (options_.stripRendering == MixdownOptions::StripRendering::inGraph) return *master_.bus;
    // The strip's graph passes its chain through unchanged (its main mixer stays at unity).
    return stripGraph(strip).mainMixer();
}

void MixdownGraph::connectStrip(int index)
{
    if (index < 0 || index >= stripCount()) return;
    MixdownStrip& strip = strips_[static_cast<std::size_t>(index)];
    if (strip.connected) return;
    AudioGraph& graph = stripGraph(strip);
    graph.attach(strip.mixer);
    graph.attach(strip.filter);
    graph.attach(strip.drive);
    graph.connect(*strip.mixer, *strip.filter);
    graph.connect(*strip.filter, *strip.drive);
    AudioNode* previous = strip.drive.get();
    for (const auto& unit : strip.inserts) {
        graph.connect(*previous, *unit);
        previous = unit.get();
    }
    graph.connect(*previous, stripEnd(strip));
    for (const auto& voice : strip.voices) {
        graph.attach(voice);
        graph.connect(*voice, *strip.mixer);
    }
    for (const auto& voice : strip.auditionVoices) {
        graph.attach(voice);
        graph.connect(*voice, *strip.mixer);
        // Audition players run for the graph's life: a new note replaces what they hold, so the clock
        // of a player never restarts under a sound.
        voice->play();
    }
    if (options_.meters) strip.mixer->installLevelTap();
    strip.connected = true;
}

void MixdownGraph::applySettings(const Project& project, std::optional<int> soloTrack)
{
    graph_.mainMixer().setOutputVolume(static_cast<float>(project.masterVolume));

    const MasterSettings master = masterSettings(project.masterFX.value_or(MasterFX{}));
    master_.filter->setFrequency(master.cutoff);
    master_.filter->setBandwidth(master.bandwidth);
    master_.drive->setPreGain(master.drivePreGain);
    master_.drive->setWetDryMix(master.driveWetDryMix);
    master_.crusher->setWetDryMix(master.crusher.wetDryMix);
    master_.crusher->setRounding(master.crusher.rounding);
    master_.crusher->setDecimationMix(master.crusher.decimationMix);
    master_.delay->setWetDryMix(master.delayWetDryMix);
    master_.delay->setDelayTime(master.delayTime);
    master_.delay->setFeedback(master.delayFeedback);
    master_.reverb->setWetDryMix(master.reverbWetDryMix);

    const bool solo = anySolo(project);
    for (int i = 0; i < stripCount(); ++i) {
        const MixerTrack settings =
            i < static_cast<int>(project.mixer.size()) ? project.mixer[static_cast<std::size_t>(i)] : MixerTrack{};
        StripSettings values = stripSettings(settings, solo);
        MixdownStrip& strip = strips_[static_cast<std::size_t>(i)];
        // A stem renders its own track alone, whatever the mute and solo buttons say.
        if (soloTrack) values.volume = i == *soloTrack ? static_cast<float>(settings.volume) : 0.0f;
        strip.audible = soloTrack ? i == *soloTrack : stripVolume(settings, solo, 1) != 0;
        strip.mixer->setOutputVolume(values.volume);
        strip.mixer->setPan(values.pan);
        strip.filter->setFrequency(values.cutoff);
        strip.filter->setBandwidth(values.bandwidth);
        strip.drive->setPreGain(values.drivePreGain);
        strip.drive->setWetDryMix(values.driveWetDryMix);
    }
}

void MixdownGraph::neutralizeDrivenBuses(const DrivenBus& driven)
{
    using Target = ParameterTarget;
    for (int i = 0; i < stripCount(); ++i) {
        MixdownStrip& strip = strips_[static_cast<std::size_t>(i)];
        if (driven(Target::trackVolume, i)) strip.mixer->setOutputVolume(strip.audible ? 1.0f : 0.0f);
        if (driven(Target::trackPan, i)) strip.mixer->setPan(0.0f);
        if (driven(Target::trackCutoff, i) || driven(Target::trackResonance, i)) {
            strip.filter->setFrequency(static_cast<float>(neutralCutoff));
            strip.filter->setBandwidth(static_cast<float>(neutralResonance));
        }
        if (driven(Target::trackDrive, i)) strip.drive->setWetDryMix(0.0f);
    }
    const std::optional<int> none;
    if (driven(Target::masterVolume, none)) graph_.mainMixer().setOutputVolume(1.0f);
    if (driven(Target::masterCutoff, none) || driven(Target::masterResonance, none)) {
        master_.filter->setFrequency(static_cast<float>(neutralCutoff));
        master_.filter->setBandwidth(static_cast<float>(neutralResonance));
    }
    if (driven(Target::masterDrive, none)) master_.drive->setWetDryMix(0.0f);
    if (driven(Target::masterBitDepth, none)) master_.crusher->setWetDryMix(0.0f);
    if (driven(Target::masterDelay, none)) master_.delay->setWetDryMix(0.0f);
    if (driven(Target::masterReverb, none)) master_.reverb->setWetDryMix(0.0f);
}

void MixdownGraph::setStripDrive(MixdownStrip& strip, double drive)
{
    strip.drive->setPreGain(stripDrivePreGain(drive));
    strip.drive->setWetDryMix(stripDriveWetDryMix(drive));
}

void MixdownGraph::setMasterDrive(double drive)
{
    master_.drive->setPreGain(masterDrivePreGain(drive));
    master_.drive->setWetDryMix(masterDriveWetDryMix(drive));
}

void MixdownGraph::setMasterBitDepth(double bitDepth)
{
    const CrusherSettings crusher = crusherSettings(bitDepth);
    master_.crusher->setWetDryMix(crusher.wetDryMix);
    master_.crusher->setRounding(crusher.rounding);
    master_.crusher->setDecimationMix(crusher.decimationMix);
}

void MixdownGraph::attachInstrument(int index, const std::shared_ptr<AudioNode>& instrument)
{
    if (index < 0 || index >= stripCount()) return;
    connectStrip(index);
    MixdownStrip& strip = strips_[static_cast<std::size_t>(index)];
    AudioGraph& graph = stripGraph(strip);
    graph.attach(instrument);
    graph.connect(*instrument, *strip.mixer);
}

void MixdownGraph::setStripInserts(int index, std::vector<std::shared_ptr<AudioEffectNode>> units)
{
    if (index < 0 || index >= stripCount()) return;
    MixdownStrip& strip = strips_[static_cast<std::size_t>(index)];
    AudioGraph& graph = stripGraph(strip);
    for (const auto& unit : units) graph.attach(unit);
    strip.inserts = std::move(units);
    if (!strip.connected) return;
    graph.disconnectOutput(*strip.drive);
    AudioNode* previous = strip.drive.get();
    for (const auto& unit : strip.inserts) {
        graph.connect(*previous, *unit);
        previous = unit.get();
    }
    graph.connect(*previous, stripEnd(strip));
}

void MixdownGraph::setMasterInserts(std::vector<std::shared_ptr<AudioEffectNode>> units)
{
    for (const auto& unit : units) graph_.attach(unit);
    master_.inserts = std::move(units);
    AudioNode& end = afterMasterInserts();
    graph_.disconnectOutput(*master_.reverb);
    graph_.disconnectInputs(end);
    AudioNode* previous = master_.reverb.get();
    for (const auto& unit : master_.inserts) {
        graph_.connect(*previous, *unit);
        previous = unit.get();
    }
    graph_.connect(*previous, end);
}

std::int64_t MixdownGraph::latencyFrames() const noexcept
{
    // Every sound passes the whole master chain; the strips before it delay nothing.
    std::int64_t frames = 0;
    for (const AudioNode* node : std::initializer_list<const AudioNode*>{
             master_.bus.get(), master_.filter.get(), master_.drive.get(), master_.crusher.get(),
             master_.delay.get(), master_.reverb.get(), master_.timePitch.get(), master_.limiter.get()}) {
        if (node != nullptr) frames += node->latencyFrames();
    }
    for (const auto& insert : master_.inserts) frames += insert->latencyFrames();
    return frames;
}

} // namespace veltrane
