#include "VeltranePlatform/Audio/AudioFeedNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

#include <cstring>

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
    const auto bytes = sizeof(float) * static_cast<std::size_t>(sum.frames);
    if (sum.silent) {
        std::memcpy(sum.channels[0], block.left, bytes);
        std::memcpy(sum.channels[1], block.right, bytes);
        sum.silent = false;
    } else {
        kernels::add(sum.channels[0], block.left, sum.frames);
        kernels::add(sum.channels[1], block.right, sum.frames);
    }
    return true;
}

} // namespace veltrane
