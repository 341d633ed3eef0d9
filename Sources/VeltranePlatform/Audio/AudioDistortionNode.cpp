#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"

#include "VeltranePlatform/Audio/SoftClip.hpp"

#include <algorithm>
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
    const float wet = mix * outputLevel;
    // In runs of a few dozen frames: first the curve, which has no memory, four frames at a time; then
    // the filters, whose outputs each depend on the one before, with the two channels as the two lanes
    // of one vector, so both chains advance together. Every lane does what the one-sample code did,
    // operation for operation.
    using Float2 = float __attribute__((vector_size(8)));
    constexpr int run = 64;
    alignas(16) float shaped[2][run];
    Float2 hpIn = {highPassInput_[0], highPassInput_[1]};
    Float2 hpOut = {highPassOutput_[0], highPassOutput_[1]};
    Float2 lpOut = {lowPassOutput_[0], lowPassOutput_[1]};
    const float hp = highPassCoefficient_;
    const float lp = lowPassCoefficient_;
    for (int done = 0; done < bus.frames; done += run) {
        float* left = bus.channels[0] + done;
        float* right = bus.channels[1] + done;
        const int count = std::min(run, bus.frames - done);
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            kernels::store(shaped[0] + i, softClip(kernels::load(left + i) * gain + bias) - offset);
            kernels::store(shaped[1] + i, softClip(kernels::load(right + i) * gain + bias) - offset);
        }
        for (; i < count; ++i) {
            shaped[0][i] = softClip(left[i] * gain + bias) - offset;
            shaped[1][i] = softClip(right[i] * gain + bias) - offset;
        }
        for (i = 0; i < count; ++i) {
            const Float2 x = {left[i], right[i]};
            const Float2 in = {shaped[0][i], shaped[1][i]};
            // One-pole DC-blocking high-pass, then one-pole low-pass.
            hpOut = hp * (hpOut + in - hpIn);
            hpIn = in;
            lpOut = hpOut + lp * (lpOut - hpOut);
            const Float2 out = dry * x + wet * lpOut;
            left[i] = out[0];
            right[i] = out[1];
        }
    }
    for (int channel = 0; channel < 2; ++channel) {
        highPassInput_[channel] = hpIn[channel];
        highPassOutput_[channel] = hpOut[channel];
        lowPassOutput_[channel] = lpOut[channel];
    }
}

} // namespace veltrane
