#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <utility>

namespace veltrane {

AudioEngine::AudioEngine() : AudioEngine(Options{}) {}

AudioEngine::AudioEngine(Options options)
    : graph_(options.sampleRate, options.maximumFrames), deviceSettings_(std::move(options.device))
{
    // The master side is wired now; strips join on first use (connectTrack).
    for (const auto& node : std::initializer_list<std::shared_ptr<AudioNode>>{
             masterBus_, clockPlayer_, metronomePlayer_, filter_, drive_, crusher_, delay_, reverb_,
             transportTimePitch_, limiter_}) {
        graph_.attach(node);
    }
    graph_.connect(*clockPlayer_, *masterBus_);
    graph_.connect(*metronomePlayer_, *masterBus_);
    // The clock player only carries the transport's clock and the cycle markers: it is never heard.
    clockPlayer_->setVolume(0);

    limiter_->setAttackTime(limiterAttackTime);
    limiter_->setDecayTime(limiterDecayTime);

    graph_.connect(*masterBus_, *filter_);
    graph_.connect(*filter_, *drive_);
    graph_.connect(*drive_, *crusher_);
    graph_.connect(*crusher_, *delay_);
    graph_.connect(*delay_, *reverb_);
    graph_.connect(*reverb_, *transportTimePitch_);
    graph_.connect(*transportTimePitch_, *limiter_);
    graph_.connect(*limiter_, graph_.mainMixer());
    masterBus_->installLevelTap();

    // Until a project is applied, the nodes play the settings of a project without master effects.
    apply(Project{.instruments = {}, .mixer = {}});
}

AudioEngine::~AudioEngine()
{
    // The device renders the graph on its own thread: it must stop before anything it reads goes.
    if (device_) device_->close();
}

void AudioEngine::connectTrack(int index)
{
    if (index < 0 || index >= trackCount) return;
    Track& strip = tracks_[static_cast<std::size_t>(index)];
    if (strip.connected) return;
    graph_.attach(strip.mixer);
    graph_.attach(strip.filter);
    graph_.attach(strip.drive);
    graph_.connect(*strip.mixer, *strip.filter);
    graph_.connect(*strip.filter, *strip.drive);
    graph_.connect(*strip.drive, *masterBus_);
    for (Voice& voice : strip.voices) {
        graph_.attach(voice.player);
        graph_.connect(*voice.player, *strip.mixer);
    }
    for (Voice& voice : strip.auditionVoices) {
        graph_.attach(voice.player);
        graph_.connect(*voice.player, *strip.mixer);
        // Audition players run for the engine's life: a new note replaces what they hold, so the clock
        // of a player never restarts under a sound.
        voice.player->play();
    }
    strip.mixer->installLevelTap();
    strip.connected = true;
}

void AudioEngine::apply(const Project& project)
{
    graph_.mainMixer().setOutputVolume(static_cast<float>(project.masterVolume));

    const MasterSettings master = masterSettings(project.masterFX.value_or(MasterFX{}));
    filter_->setFrequency(master.cutoff);
    filter_->setBandwidth(master.bandwidth);
    drive_->setPreGain(master.drivePreGain);
    drive_->setWetDryMix(master.driveWetDryMix);
    crusher_->setWetDryMix(master.crusher.wetDryMix);
    crusher_->setRounding(master.crusher.rounding);
    crusher_->setDecimationMix(master.crusher.decimationMix);
    delay_->setWetDryMix(master.delayWetDryMix);
    delay_->setDelayTime(master.delayTime);
    delay_->setFeedback(master.delayFeedback);
    reverb_->setWetDryMix(master.reverbWetDryMix);

    const bool solo = anySolo(project);
    for (int i = 0; i < trackCount; ++i) {
        const MixerTrack settings = i < static_cast<int>(project.mixer.size()) ? project.mixer[static_cast<std::size_t>(i)] : MixerTrack{};
        const StripSettings strip = stripSettings(settings, solo);
        Track& track = tracks_[static_cast<std::size_t>(i)];
        track.mixer->setOutputVolume(strip.volume);
        track.mixer->setPan(strip.pan);
        track.filter->setFrequency(strip.cutoff);
        track.filter->setBandwidth(strip.bandwidth);
        track.drive->setPreGain(strip.drivePreGain);
        track.drive->setWetDryMix(strip.driveWetDryMix);
    }

    samples_.loadSamples(project.instruments);
}

void AudioEngine::openDevice()
{
    if (!deviceSettings_ || (device_ && device_->isOpen())) return;
    if (!device_) {
        device_ = std::make_unique<AudioDevice>(&graph_);
        device_->setConfigurationChangeHandler([this] {
            if (onConfigurationChange) onConfigurationChange();
        });
    }
    device_->open(*deviceSettings_);
}

void AudioEngine::start()
{
    if (running_) return;
    if (deviceSettings_) {
        openDevice();
        device_->start();
    }
    running_ = true;
}

double AudioEngine::outputSampleRate()
{
    if (deviceSettings_ && !running_) {
        try {
            openDevice();
        } catch (const AudioDeviceError&) {
            // No device yet: the graph's rate stands, and `start` reports the failure when it matters.
        }
    }
    return graph_.sampleRate();
}

AudioEngine::MeterLevels AudioEngine::meters()
{
    MeterLevels levels;
    for (int i = 0; i < trackCount; ++i) {
        levels.tracks[static_cast<std::size_t>(i)] = tracks_[static_cast<std::size_t>(i)].mixer->levelTap().readPeakAndDecay(meterDecay);
    }
    levels.master = masterBus_->levelTap().readPeakAndDecay(meterDecay);
    return levels;
}

void AudioEngine::recoverAfterConfigurationChange()
{
    running_ = false;
    if (device_) device_->close();
    graph_.reset();
    // Clicks and markers are made again at the rate the new device runs at.
    metronomeBuffers_.reset();
    markerBuffer_.reset();
    start();
}

void AudioEngine::drainCompletions()
{
    graph_.drainCompletions();
    if (device_) device_->pollEvents();

    // Each played cycle marker queues the cycle after the next, unless its playback has ended since.
    const auto markers = std::exchange(playedMarkers_, {});
    for (const auto& [cycle, generation] : markers) scheduleCycle(cycle, generation);

    if (scheduledProject_) {
        const double sampleRate = graph_.sampleRate();
        const std::int64_t position = clockPosition();
        renderAhead(position + framesForSeconds(renderAheadSeconds, sampleRate),
                    position + framesForSeconds(urgentAheadSeconds, sampleRate),
                    std::chrono::steady_clock::now() + renderBudgetPerPump);
        if (static_cast<double>(scheduledCycleFrames_) > keepRenderedCycleSeconds * sampleRate) renderedNotes_.releaseUnused();
    }
    playDueRetriggers();
    if (hosting_) hosting_->pollParameterChanges(onAudioUnitStateChange);
}

} // namespace veltrane
