#pragma once

// Hands audio from the device thread to a worker thread in blocks of a fixed length, without allocating,
// locking or waiting on the device side. One producer (the device thread) appends frames; once a block
// is full it is published, and one consumer (a writer thread) takes whole blocks in order and gives
// each back when done with it. All memory is made by the constructor.
//
//     AudioBlockRing ring(2, 1024, 128);
//     ring.append(channels, frames);          // device thread, every callback
//     while (auto block = ring.front()) {     // writer thread
//         write(block->samples, block->frames);
//         ring.pop();
//     }
//
// Frames that arrive while every block waits for the consumer are dropped and counted: a stalled disk
// must never stall the device.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace veltrane {

class AudioBlockRing {
public:
    struct Block {
        const float* samples = nullptr; ///< `frames` interleaved frames of `channelCount` samples
        int frames = 0;
    };

    AudioBlockRing(int channelCount, int blockFrames, int blockCount)
        : channelCount_(std::max(channelCount, 1)), blockFrames_(std::max(blockFrames, 1)),
          blockCount_(std::max(blockCount, 2)),
          samples_(std::make_unique<float[]>(static_cast<std::size_t>(channelCount_) * static_cast<std::size_t>(blockFrames_) * static_cast<std::size_t>(blockCount_))),
          frames_(std::make_unique<int[]>(static_cast<std::size_t>(blockCount_)))
    {
    }
    AudioBlockRing(const AudioBlockRing&) = delete;
    AudioBlockRing& operator=(const AudioBlockRing&) = delete;

    int channelCount() const noexcept { return channelCount_; }
    int blockFrames() const noexcept { return blockFrames_; }

    /// Appends `frames` frames of `channelCount` non-interleaved channels; channels beyond the ring's are
    /// ignored and missing ones are silence. Producer thread only: never allocates, locks or waits.
    void append(const float* const* channels, int channelCount, int frames) noexcept
    {
        int done = 0;
        while (done < frames) {
            const std::uint64_t head = head_.load(std::memory_order_relaxed);
            if (head - tail_.load(std::memory_order_acquire) >= static_cast<std::uint64_t>(blockCount_)) {
                // Every block waits for the consumer: this audio is lost.
                dropped_.fetch_add(frames - done, std::memory_order_relaxed);
                return;
            }
            const std::size_t slot = static_cast<std::size_t>(head % static_cast<std::uint64_t>(blockCount_));
            float* block = blockSamples(slot);
            const int count = std::min(frames - done, blockFrames_ - filled_);
            for (int i = 0; i < count; ++i) {
                float* frame = block + static_cast<std::size_t>(filled_ + i) * static_cast<std::size_t>(channelCount_);
                for (int channel = 0; channel < channelCount_; ++channel) {
                    frame[channel] = channel < channelCount ? channels[channel][done + i] : 0.0f;
                }
            }
            filled_ += count;
            done += count;
            if (filled_ == blockFrames_) publish();
        }
    }

    /// Publishes a block that is only partly filled (the end of a take). Producer thread, or the owner
    /// once the producer has stopped for good.
    void flush() noexcept
    {
        if (filled_ > 0) publish();
    }

    /// The oldest published block, or nothing. Consumer thread only.
    std::optional<Block> front() const noexcept
    {
        const std::uint64_t tail = tail_.load(std::memory_order_relaxed);
        if (head_.load(std::memory_order_acquire) == tail) return std::nullopt;
        const std::size_t slot = static_cast<std::size_t>(tail % static_cast<std::uint64_t>(blockCount_));
        return Block{blockSamples(slot), frames_[slot]};
    }

    /// Gives the block `front` returned back to the producer. Consumer thread only.
    void pop() noexcept { tail_.fetch_add(1, std::memory_order_release); }

    /// Frames dropped because the consumer fell behind. Any thread.
    std::int64_t droppedFrames() const noexcept { return dropped_.load(std::memory_order_relaxed); }

private:
    float* blockSamples(std::size_t slot) const noexcept
    {
        return samples_.get() + slot * static_cast<std::size_t>(channelCount_) * static_cast<std::size_t>(blockFrames_);
    }

    void publish() noexcept
    {
        const std::uint64_t head = head_.load(std::memory_order_relaxed);
        frames_[static_cast<std::size_t>(head % static_cast<std::uint64_t>(blockCount_))] = filled_;
        filled_ = 0;
        head_.store(head + 1, std::memory_order_release);
    }

    const int channelCount_;
    const int blockFrames_;
    const int blockCount_;
    std::unique_ptr<float[]> samples_;
    std::unique_ptr<int[]> frames_;
    int filled_ = 0; // frames in the block being filled; producer only
    std::atomic<std::uint64_t> head_{0}; // blocks published
    std::atomic<std::uint64_t> tail_{0}; // blocks given back
    std::atomic<std::int64_t> dropped_{0};
};

} // namespace veltrane
