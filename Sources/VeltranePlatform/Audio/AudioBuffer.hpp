#pragma once

// A block of stereo audio in memory: two non-interleaved channels of 32-bit floats (0 left, 1 right) at
// a sample rate. Players take buffers as `AudioBufferRef`, a shared pointer to a const buffer: once
// handed over, a buffer never changes, so the audio thread reads it without locks, and the graph gives
// the last reference back to the thread that drains completions, never dropping it on the audio thread.
//
//     AudioBuffer(frameCapacity, sampleRate)   zero-filled, frameLength = frameCapacity
//     AudioBuffer(frames, rate, AudioBuffer::uninitialized)   for a writer that fills every frame
//     channel(0|1)                            the samples of one channel
//     setFrameLength(n)                       shortens what plays (clamped to 0 ... capacity)

#include <cstdint>
#include <memory>

namespace veltrane {

class AudioBuffer {
public:
    static constexpr int channelCount = 2;

    /// Throws std::invalid_argument for a negative capacity or a sample rate that is not positive.
    AudioBuffer(std::int64_t frameCapacity, double sampleRate);

    /// Asks for a buffer whose samples are left as the allocator gives them, for a writer that fills
    /// every frame at once (a rendered note): zeroing them first would only be overwritten.
    struct Uninitialized {};
    static constexpr Uninitialized uninitialized{};
    AudioBuffer(std::int64_t frameCapacity, double sampleRate, Uninitialized);

    std::int64_t frameCapacity() const noexcept { return frameCapacity_; }
    std::int64_t frameLength() const noexcept { return frameLength_; }
    void setFrameLength(std::int64_t frames) noexcept;
    double sampleRate() const noexcept { return sampleRate_; }

    /// `index` 0 or 1; other indices give the right channel for 1 and above, the left below 0.
    float* channel(int index) noexcept { return samples_.get() + channelOffset(index); }
    const float* channel(int index) const noexcept { return samples_.get() + channelOffset(index); }

private:
    std::int64_t channelOffset(int index) const noexcept { return index > 0 ? frameCapacity_ : 0; }

    std::int64_t frameCapacity_;
    std::int64_t frameLength_;
    double sampleRate_;
    std::unique_ptr<float[]> samples_;
};

using AudioBufferRef = std::shared_ptr<const AudioBuffer>;

} // namespace veltrane
