#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <algorithm>
#include <stdexcept>

namespace veltrane {

AudioBuffer::AudioBuffer(std::int64_t frameCapacity, double sampleRate)
    : frameCapacity_(frameCapacity), frameLength_(frameCapacity), sampleRate_(sampleRate)
{
    if (frameCapacity < 0) throw std::invalid_argument("An audio buffer cannot have a negative length.");
    if (!(sampleRate > 0)) throw std::invalid_argument("An audio buffer needs a positive sample rate.");
    samples_ = std::make_unique<float[]>(static_cast<std::size_t>(std::max<std::int64_t>(frameCapacity, 1)) * 2);
}

void AudioBuffer::setFrameLength(std::int64_t frames) noexcept
{
    frameLength_ = std::clamp<std::int64_t>(frames, 0, frameCapacity_);
}

} // namespace veltrane
