#pragma once

// What one render call of a node works on: a stereo block of up to the graph's maximum frames, and
// the time it stands for.

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace veltrane {

/// Two non-interleaved channels of `frames` floats, owned by whoever asked for the render. When
/// `silent` is true the samples are undefined and mean zeros: sources that have nothing to play set it
/// instead of writing zeros, so an idle strip costs almost nothing.
struct AudioBus {
    float* channels[2] = {nullptr, nullptr};
    int frames = 0;
    bool silent = false;

    /// Writes real zeros and clears `silent`, for a node that is about to add into the block.
    void fillSilence() noexcept
    {
        for (float* channel : channels) std::memset(channel, 0, sizeof(float) * static_cast<std::size_t>(frames));
        silent = false;
    }
    /// Turns a silent block into zeros, so that it can be read.
    void materialize() noexcept
    {
        if (silent) fillSilence();
    }
    AudioBus slice(int offset, int count) const noexcept
    {
        return AudioBus{{channels[0] + offset, channels[1] + offset}, count, silent};
    }
};

/// The time of a block. Every node sees frames of its own clock domain: the graph clock, except
/// upstream of a time-pitch stage, whose input runs at its own pace. `graphFrame` says at which frame of
/// the graph clock the block's first frame will be heard, and `graphFramesPerFrame` how many graph
/// frames one frame of this block lasts (1 unless a time-pitch stage changes the rate).
struct RenderTime {
    std::int64_t frame = 0;
    double graphFrame = 0;
    double graphFramesPerFrame = 1;
};

} // namespace veltrane
