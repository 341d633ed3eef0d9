#pragma once

// The audio of a whole file in memory, as `AudioFile` reads and writes it: 32-bit float samples, one
// vector per channel (not interleaved), every channel the same length. The layers above move the
// channels into their own types; this one stays free of them.

#include <cstdint>
#include <vector>

namespace veltrane {

struct AudioFileBuffer {
    double sampleRate = 44100;
    std::vector<std::vector<float>> channels;

    int channelCount() const { return static_cast<int>(channels.size()); }
    std::int64_t frameCount() const
    {
        return channels.empty() ? 0 : static_cast<std::int64_t>(channels.front().size());
    }

    friend bool operator==(const AudioFileBuffer&, const AudioFileBuffer&) = default;
};

} // namespace veltrane
