#pragma once

// Decoded audio held in memory: 32-bit float samples, one vector per channel (not interleaved), every
// channel the same length. The sample instruments play from these.

#include <cstdint>
#include <vector>

namespace veltrane {

struct SampleBuffer {
    double sampleRate = 44100;
    std::vector<std::vector<float>> channels;

    int channelCount() const { return static_cast<int>(channels.size()); }
    std::int64_t frameCount() const
    {
        return channels.empty() ? 0 : static_cast<std::int64_t>(channels.front().size());
    }

    friend bool operator==(const SampleBuffer&, const SampleBuffer&) = default;
};

} // namespace veltrane
