#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {
// Close enough to unity to be unity: the recovery is exponential and would never arrive otherwise.
constexpr float unityMargin = 1e-6f;
}

void AudioPeakLimiterNode::reset() noexcept
{
    gain_ = 1.0f;
    publishedGain_.store(1.0f, std::memory_order_relaxed);
}

void AudioPeakLimiterNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float sampleRateF = static_cast<float>(sampleRate());
    const float attack = std::exp(-1.0f / (attackTime_.get() * sampleRateF));
    const float decay = std::exp(-1.0f / (decayTime_.get() * sampleRateF));
    if (bus.silent) {
        // Silence only lets the gain recover.
        gain_ = 1.0f - (1.0f - gain_) * std::pow(decay, static_cast<float>(bus.frames));
        if (gain_ > 1.0f - unityMargin) gain_ = 1.0f;
        publishedGain_.store(gain_, std::memory_order_relaxed);
        return;
    }
    const float preGain = std::pow(10.0f, preGain_.get() / 20.0f);
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    if (gain_ == 1.0f) {
        float peak = 0.0f;
        for (int i = 0; i < bus.frames; ++i) peak = std::fmax(peak, std::fmax(std::fabs(left[i]), std::fabs(right[i])));
        if (peak * preGain <= threshold) {
            if (preGain != 1.0f) {
                for (int i = 0; i < bus.frames; ++i) {
                    left[i] *= preGain;
                    right[i] *= preGain;
                }
            }
            return;
        }
    }
    for (int i = 0; i < bus.frames; ++i) {
        const float l = left[i] * preGain;
        const float r = right[i] * preGain;
        const float level = std::fmax(std::fabs(l), std::fabs(r));
        const float target = level > threshold ? threshold / level : 1.0f;
        gain_ = target + (gain_ - target) * (target < gain_ ? attack : decay);
        if (gain_ > 1.0f - unityMargin) gain_ = 1.0f;
        left[i] = l * gain_;
        right[i] = r * gain_;
    }
    publishedGain_.store(gain_, std::memory_order_relaxed);
}

} // namespace veltrane
