#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace veltrane {

namespace {

std::size_t sampleCount(std::int64_t frameCapacity, double sampleRate)
{
    if (frameCapacity < 0) throw std::invalid_argument("An audio buffer cannot have a negative length.");
    if (!(sampleRate > 0)) throw std::invalid_argument("An audio buffer needs a positive sample rate.");
    return static_cast<std::size_t>(std::max<std::int64_t>(frameCapacity, 1)) * 2;
}

} // namespace

AudioBuffer::AudioBuffer(std::int64_t frameCapacity, double sampleRate)
    : frameCapacity_(frameCapacity), frameLength_(frameCapacity), sampleRate_(sampleRate),
      samples_(std::make_unique<float[]>(sampleCount(frameCapacity, sampleRate)))
{
}

AudioBuffer::AudioBuffer(std::int64_t frameCapacity, double sampleRate, Uninitialized)
    : frameCapacity_(frameCapacity), frameLength_(frameCapacity), sampleRate_(sampleRate),
      samples_(std::make_unique_for_overwrite<float[]>(sampleCount(frameCapacity, sampleRate)))
{
}

void AudioBuffer::setFrameLength(std::int64_t frames) noexcept
{
    frameLength_ = std::clamp<std::int64_t>(frames, 0, frameCapacity_);
}

} // namespace veltrane
