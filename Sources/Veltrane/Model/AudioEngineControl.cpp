#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "Veltrane/Model/EngineControl.hpp"

namespace veltrane {

AudioEngineControl::AudioEngineControl(std::unique_ptr<AudioEngine> engine) : engine_(std::move(engine))
{
    engine_->onAudioUnitStateChange = [this] {
        if (onAudioUnitStateChange) onAudioUnitStateChange();
    };
    engine_->onConfigurationChange = [this] {
        if (onConfigurationChange) onConfigurationChange();
    };
}

AudioEngineControl::~AudioEngineControl()
{
    engine_->onAudioUnitStateChange = nullptr;
    engine_->onConfigurationChange = nullptr;
}

void AudioEngineControl::start() { engine_->start(); }
void AudioEngineControl::apply(const Project& project) { engine_->apply(project); }

void AudioEngineControl::trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments,
                                 double duration)
{
    engine_->trigger(cell, track, instruments, duration);
}

void AudioEngineControl::stop() { engine_->stop(); }
void AudioEngineControl::captureAudioUnitState(Project& project) { engine_->captureAudioUnitState(project); }
double AudioEngineControl::outputSampleRate() { return engine_->outputSampleRate(); }
void AudioEngineControl::setAudioUnitEffectBypass(const Uuid& id, bool bypassed)
{
    engine_->setAudioUnitEffectBypass(id, bypassed);
}

} // namespace veltrane
