#pragma once

// A level meter on a node's output. The audio thread measures the largest absolute sample of every
// block the node renders and keeps the highest value; the owner reads it, and may let it fall with each
// read. Lock-free on both sides: the hold and the fall are compare-and-swap loops on one atomic, so a
// peak that arrives during a read is never lost.

#include "VeltranePlatform/Audio/AudioBus.hpp"

#include <atomic>

namespace veltrane {

class AudioLevelTap {
public:
    /// The held peak, linear amplitude (full scale 1.0). Any thread.
    float peak() const noexcept { return peak_.load(std::memory_order_relaxed); }

    /// Returns the held peak and leaves it multiplied by `factor` (0 ... 1) for the next read. Any thread.
    float readPeakAndDecay(float factor) noexcept;

    /// Clears the held peak. Any thread.
    void clear() noexcept { peak_.store(0.0f, std::memory_order_relaxed); }

    /// Merges the block's peak into the held one. Audio thread: never allocates, locks or waits.
    void measure(const AudioBus& bus) noexcept;

private:
    std::atomic<float> peak_{0.0f};
};

} // namespace veltrane
