#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include "VeltraneCore/Timing/FrameTime.hpp"

#include <utility>

namespace veltrane {

AudioEngine::AudioEngine() : AudioEngine(Options{}) {}

AudioEngine::AudioEngine(Options options)
    : mixdown_(MixdownOptions::live(options.sampleRate, options.maximumFrames)), deviceSettings_(std::move(options.device))
{
}

AudioEngine::~AudioEngine()
{
    // The device renders the graph on its own thread: it must stop before anything it reads goes.
    if (device_) device_->close();
}

void AudioEngine::apply(const Project& project)
{
    mixdown_.applySettings(project);
    samples_.loadSamples(project.instruments);
}

void AudioEngine::updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame)
{
    if (!busAutomation_) {
        // Not playing: the lanes of the timeline given, for this once.
        BusAutomation(project, timeline, trackCount, BusAutomation::Options::live()).update(mixdown_, frame);
        return;
    }
    // The model hands over its current project: an edit while playing moves the lanes' bases.
    if (!(busAutomation_->project() == project)) busAutomation_->setProject(project);
    busAutomation_->update(mixdown_, frame);
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
        levels.tracks[static_cast<std::size_t>(i)] =
            mixdown_.strips()[static_cast<std::size_t>(i)].mixer->levelTap().readPeakAndDecay(meterDecay);
    }
    levels.master = mixdown_.master().bus->levelTap().readPeakAndDecay(meterDecay);
    return levels;
}

void AudioEngine::recoverAfterConfigurationChange()
{
    running_ = false;
    if (device_) device_->close();
    graph_.reset();
    // Clicks (and the transport's cycle markers) are made again at the rate the new device runs at.
    metronomeBuffers_.reset();
    start();
}

void AudioEngine::drainCompletions()
{
    graph_.drainCompletions();
    if (device_) device_->pollEvents();

    // Each played cycle marker queues the cycle after the next, unless its playback has ended since.
    for (const std::int64_t cycle : transport_.takeDueCycles()) scheduleCycle(cycle);

    if (transport_.isPlaying()) {
        const double sampleRate = graph_.sampleRate();
        const std::int64_t position = transport_.clockFrame();
        renderAhead(position + framesForSeconds(renderAheadSeconds, sampleRate),
                    position + framesForSeconds(urgentAheadSeconds, sampleRate),
                    std::chrono::steady_clock::now() + renderBudgetPerPump);
        if (static_cast<double>(transport_.playback().cycleFrames) > keepRenderedCycleSeconds * sampleRate) renderedNotes_.releaseUnused();
    }
    playDueRetriggers();
    if (hosting_) hosting_->pollParameterChanges(onAudioUnitStateChange);
}

} // namespace veltrane
