#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"

#include "VeltranePlatform/Audio/SoftClip.hpp"

#include <cmath>
#include <numbers>

namespace veltrane {

namespace {
constexpr float bias = 0.15f;
constexpr float quietState = 1e-9f;
constexpr float outputLevel = 0.8f;
}

void AudioDistortionNode::prepare(double sampleRate, int)
{
    highPassCoefficient_ = static_cast<float>(std::exp(-2.0 * std::numbers::pi * 150.0 / sampleRate));
    lowPassCoefficient_ = static_cast<float>(std::exp(-2.0 * std::numbers::pi * std::min(4500.0, 0.45 * sampleRate) / sampleRate));
}

void AudioDistortionNode::reset() noexcept
{
    for (int channel = 0; channel < 2; ++channel) {
        highPassInput_[channel] = highPassOutput_[channel] = lowPassOutput_[channel] = 0;
    }
}

void AudioDistortionNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float mix = wetDryMix_.get() / 100.0f;
    if (mix <= 0.0f) {
        reset();
        return;
    }
    if (bus.silent) {
        bool quiet = true;
        for (int channel = 0; channel < 2; ++channel) {
            quiet = quiet && std::fabs(highPassOutput_[channel]) < quietState && std::fabs(lowPassOutput_[channel]) < quietState;
        }
        if (quiet) {
            reset();
            return;
        }
        bus.fillSilence();
    }
    const float gain = std::pow(10.0f, preGain_.get() / 20.0f);
    const float offset = softClip(bias);
    const float dry = 1.0f - mix;
    for (int channel = 0; channel < 2; ++channel) {
        float* samples = bus.channels[channel];
        float hpIn = highPassInput_[channel];
        float hpOut = highPassOutput_[channel];
        float lpOut = lowPassOutput_[channel];
        for (int i = 0; i < bus.frames; ++i) {
            const float x = samples[i];
            const float shaped = softClip(x * gain + bias) - offset;
            // One-pole DC-blocking high-pass, then one-pole low-pass.
            hpOut = highPassCoefficient_ * (hpOut + shaped - hpIn);
            hpIn = shaped;
            lpOut = hpOut + lowPassCoefficient_ * (lpOut - hpOut);
            samples[i] = dry * x + mix * outputLevel * lpOut;
        }
        highPassInput_[channel] = hpIn;
        highPassOutput_[channel] = hpOut;
        lowPassOutput_[channel] = lpOut;
    }
}

} // namespace veltrane
