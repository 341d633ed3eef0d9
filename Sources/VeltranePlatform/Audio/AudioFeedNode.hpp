#pragma once

// A source that plays blocks made ahead of its graph, elsewhere: each render asks the node's source for
// the block at the render's frame. An export renders parts of its mix ahead on other threads (a strip's
// voices, say) and hands their finished blocks to the graph through these.
//
//     auto feed = graph.attachNew<AudioFeedNode>();
//     feed->setSource([&](std::int64_t frame, int frames) { return ring.block(frame); });
//     graph.connect(*feed, mixer);
//
// In a mixer it adds its block straight into the mixer's sum, as a player does: the block is copied
// while the sum is silent and added after that, so a block fed in sounds bit for bit like the nodes that
// made it would in the mixer's place.

#include "VeltranePlatform/Audio/AudioNode.hpp"

#include <cstdint>
#include <functional>

namespace veltrane {

class AudioFeedNode : public AudioNode {
public:
    /// The two channels of a block, or nulls for silence.
    struct Block {
        const float* left = nullptr;
        const float* right = nullptr;
    };
    /// The block of `frames` frames at graph frame `frame`. Called on the rendering thread: it must
    /// neither allocate nor wait, so the block must be finished before the graph renders it.
    using Source = std::function<Block(std::int64_t frame, int frames)>;

    int maximumInputs() const noexcept override { return 0; }

    /// Owner thread, while the graph is not rendering. Without a source the node is silent.
    void setSource(Source source) { source_ = std::move(source); }

protected:
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept override;
    bool renderAdding(const RenderTime& time, AudioBus& sum) noexcept override;

private:
    Source source_;
};

} // namespace veltrane
