#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"

#include <cmath>

namespace veltrane {

void AudioBitCrusherNode::reset() noexcept
{
    held_[0] = held_[1] = 0;
    holdPosition_ = 0;
}

void AudioBitCrusherNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float mix = wetDryMix_.get() / 100.0f;
    if (mix <= 0.0f || bus.silent) {
        reset();
        return;
    }
    const float bits = 16.0f - 12.0f * rounding_.get() / 100.0f;
    const float levels = std::exp2(bits - 1.0f);
    const float decimation = decimationMix_.get() / 100.0f;
    const float dry = 1.0f - mix;
    int position = holdPosition_;
    for (int i = 0; i < bus.frames; ++i) {
        const bool sample = position == 0;
        position = (position + 1) % decimationFrames;
        for (int channel = 0; channel < 2; ++channel) {
            float& x = bus.channels[channel][i];
            const float rounded = std::nearbyint(x * levels) / levels;
            if (sample) held_[channel] = rounded;
            const float crushed = rounded + decimation * (held_[channel] - rounded);
            x = mix >= 1.0f ? crushed : dry * x + mix * crushed;
        }
    }
    holdPosition_ = position;
}

} // namespace veltrane
