#include "VeltranePlatform/Audio/AudioLevelTap.hpp"

#include <cmath>

namespace veltrane {

float AudioLevelTap::readPeakAndDecay(float factor) noexcept
{
    float held = peak_.load(std::memory_order_relaxed);
    while (!peak_.compare_exchange_weak(held, held * factor, std::memory_order_relaxed)) {
    }
    return held;
}

void AudioLevelTap::measure(const AudioBus& bus) noexcept
{
    if (bus.silent) return;
    float blockPeak = 0.0f;
    for (const float* channel : bus.channels) {
        for (int i = 0; i < bus.frames; ++i) blockPeak = std::fmax(blockPeak, std::fabs(channel[i]));
    }
    float held = peak_.load(std::memory_order_relaxed);
    while (blockPeak > held && !peak_.compare_exchange_weak(held, blockPeak, std::memory_order_relaxed)) {
    }
}

} // namespace veltrane
