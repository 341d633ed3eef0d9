#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

void AudioPeakLimiterNode::reset() noexcept
{
    gain_ = 1.0f;
    envelope_ = 0.0f;
    hold_ = 0;
    publishedGain_.store(1.0f, std::memory_order_relaxed);
}

void AudioPeakLimiterNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float sampleRateF = static_cast<float>(sampleRate());
    const float attack = std::exp(-1.0f / (attackTime_.get() * sampleRateF));
    const float decay = std::exp(-1.0f / (decayTime_.get() * sampleRateF));
    const float blockDecay = std::pow(decay, static_cast<float>(bus.frames));
    if (bus.silent) {
        // Silence only lets the detector fall and the gain recover with it.
        if (hold_ >= bus.frames) {
            hold_ -= bus.frames;
        } else {
            envelope_ *= std::pow(decay, static_cast<float>(bus.frames - hold_));
            hold_ = 0;
        }
        gain_ = envelope_ > threshold ? threshold / envelope_ : 1.0f;
        publishedGain_.store(gain_, std::memory_order_relaxed);
        return;
    }
    const float preGain = std::pow(10.0f, preGain_.get() / 20.0f);
    const int holdFrames = static_cast<int>(0.005f * sampleRateF);
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    if (gain_ == 1.0f && envelope_ * blockDecay <= threshold) {
        const float peak = std::max(kernels::peak(left, bus.frames), kernels::peak(right, bus.frames));
        if (peak * preGain <= threshold) {
            // Nothing to limit in this block: below full scale the detector's exact value never matters.
            envelope_ = std::max(envelope_ * blockDecay, peak * preGain);
            hold_ = 0;
            if (preGain != 1.0f) {
                kernels::scale(left, preGain, bus.frames);
                kernels::scale(right, preGain, bus.frames);
            }
            return;
        }
    }
    for (int i = 0; i < bus.frames; ++i) {
        const float l = left[i] * preGain;
        const float r = right[i] * preGain;
        const float level = std::max(std::fabs(l), std::fabs(r));
        if (hold_ > 0) {
            --hold_;
        } else {
            envelope_ *= decay;
        }
        // A level close to the held peak renews the hold too: the sampled peaks of a steady tone differ a
        // little from cycle to cycle and must not let the detector sag between them.
        if (level >= 0.9f * envelope_) {
            envelope_ = std::max(envelope_, level);
            hold_ = holdFrames;
        }
        const float target = envelope_ > threshold ? threshold / envelope_ : 1.0f;
        gain_ = target < gain_ ? target + (gain_ - target) * attack : target;
        left[i] = l * gain_;
        right[i] = r * gain_;
    }
    publishedGain_.store(gain_, std::memory_order_relaxed);
}

} // namespace veltrane
