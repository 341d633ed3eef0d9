#include "VeltranePlatform/Audio/AudioLevelTap.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

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
    const float left = kernels::peak(bus.channels[0], bus.frames);
    const float right = kernels::peak(bus.channels[1], bus.frames);
    const float blockPeak = left > right ? left : right;
    float held = peak_.load(std::memory_order_relaxed);
    while (blockPeak > held && !peak_.compare_exchange_weak(held, blockPeak, std::memory_order_relaxed)) {
    }
}

} // namespace veltrane
