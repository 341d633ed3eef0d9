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
    // Both channels in one pass: each channel's filters form a chain from one sample to the next, and
    // the two chains run side by side instead of one after the other.
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    float hpInL = highPassInput_[0], hpOutL = highPassOutput_[0], lpOutL = lowPassOutput_[0];
    float hpInR = highPassInput_[1], hpOutR = highPassOutput_[1], lpOutR = lowPassOutput_[1];
    const float hp = highPassCoefficient_;
    const float lp = lowPassCoefficient_;
    for (int i = 0; i < bus.frames; ++i) {
        const float xl = left[i];
        const float xr = right[i];
        const float shapedL = softClip(xl * gain + bias) - offset;
        const float shapedR = softClip(xr * gain + bias) - offset;
        // One-pole DC-blocking high-pass, then one-pole low-pass.
        hpOutL = hp * (hpOutL + shapedL - hpInL);
        hpOutR = hp * (hpOutR + shapedR - hpInR);
        hpInL = shapedL;
        hpInR = shapedR;
        lpOutL = hpOutL + lp * (lpOutL - hpOutL);
        lpOutR = hpOutR + lp * (lpOutR - hpOutR);
        left[i] = dry * xl + mix * outputLevel * lpOutL;
        right[i] = dry * xr + mix * outputLevel * lpOutR;
    }
    highPassInput_[0] = hpInL, highPassOutput_[0] = hpOutL, lowPassOutput_[0] = lpOutL;
    highPassInput_[1] = hpInR, highPassOutput_[1] = hpOutR, lowPassOutput_[1] = lpOutR;
}

} // namespace veltrane
