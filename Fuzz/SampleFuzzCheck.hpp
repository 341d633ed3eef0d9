#pragma once

// What every decoded sample must be, however its bytes were made: at least one channel, a positive
// sample rate, and channels of one length. Anything else that escapes the reader (an exception other
// than AudioFileError, a sanitizer report) is a fault too.

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <cstdlib>

namespace veltrane::fuzz {

template <class Read>
void checkDecodedSample(Read&& read)
{
    try {
        const auto sample = read();
        if (sample.channelCount() < 1 || !(sample.sampleRate > 0)) std::abort();
        for (const auto& channel : sample.channels) {
            if (static_cast<std::int64_t>(channel.size()) != sample.frameCount()) std::abort();
        }
    } catch (const AudioFileError&) {
    }
}

} // namespace veltrane::fuzz
