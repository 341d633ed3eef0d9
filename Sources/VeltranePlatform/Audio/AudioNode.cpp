#include "VeltranePlatform/Audio/AudioNode.hpp"

namespace veltrane {

AudioLevelTap& AudioNode::installLevelTap() noexcept
{
    tapInstalled_.store(true, std::memory_order_relaxed);
    return tap_;
}

void AudioNode::removeLevelTap() noexcept
{
    tapInstalled_.store(false, std::memory_order_relaxed);
}

void AudioEffectNode::render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept
{
    inputs.pull(0, time, out);
    if (isBypassed()) return;
    process(time, out);
}

} // namespace veltrane
