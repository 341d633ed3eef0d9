#include "VeltranePlatform/Audio/AudioFeedNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

namespace veltrane {

void AudioFeedNode::render(const RenderTime& time, const RenderInputs&, AudioBus& out) noexcept
{
    out.silent = true;
    renderAdding(time, out);
}

bool AudioFeedNode::renderAdding(const RenderTime& time, AudioBus& sum) noexcept
{
    if (!source_) return true;
    const Block block = source_(time.frame, sum.frames);
    if (block.left == nullptr || block.right == nullptr) return true;
    const float* const source[2] = {block.left, block.right};
    kernels::mixStereo(sum.channels, source, 1.0f, sum.frames, !sum.silent);
    sum.silent = false;
    return true;
}

} // namespace veltrane
