#include "VeltranePlatform/Audio/AudioDelayNode.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace veltrane {

namespace {
constexpr float quietLevel = 1e-9f;
}

void AudioDelayNode::prepare(double sampleRate, int maximumFrames)
{
    std::int64_t size = 1;
    while (size < static_cast<std::int64_t>(maximumDelayTime * sampleRate) + maximumFrames + 4) size *= 2;
    line_ = std::make_unique<float[]>(static_cast<std::size_t>(size) * 2);
    lineMask_ = size - 1;
    glide_ = 1.0 - std::exp(-1.0 / (0.05 * sampleRate));
    damping_ = static_cast<float>(std::exp(-2.0 * std::numbers::pi * std::min(15000.0, 0.45 * sampleRate) / sampleRate));
}

void AudioDelayNode::reset() noexcept
{
    active_ = false;
}

void AudioDelayNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float mix = wetDryMix_.get() / 100.0f;
    if (mix <= 0.0f) {
        active_ = false;
        return;
    }
    const std::int64_t size = lineMask_ + 1;
    const double targetDelay = std::clamp(delayTime_.get() * sampleRate(), 1.0, static_cast<double>(size - maximumFrames() - 2));
    if (!active_) {
        // Echoes start from the moment the mix opens, not from whatever the line held before.
        if (bus.silent) return;
        std::memset(line_.get(), 0, sizeof(float) * static_cast<std::size_t>(size) * 2);
        dampState_[0] = dampState_[1] = 0;
        currentDelayFrames_ = targetDelay;
        quietFrames_ = 0;
        active_ = true;
    }
    if (bus.silent) {
        if (quietFrames_ >= size) return;
        bus.fillSilence();
    }
    const float feedback = std::clamp(feedback_.get() / 100.0f, -0.99f, 0.99f);
    const float dry = 1.0f - mix;
    const float damping = damping_;
    const double glide = glide_;
    const std::int64_t mask = lineMask_;
    float* lines[2] = {line_.get(), line_.get() + size};
    float* channels[2] = {bus.channels[0], bus.channels[1]};
    // The state in registers for the block, not in the node, where every store to the line or the bus
    // would make the compiler read it back.
    double delay = currentDelayFrames_;
    std::int64_t writeIndex = writeIndex_;
    std::int64_t quietFrames = quietFrames_;
    float damp[2] = {dampState_[0], dampState_[1]};
    for (int i = 0; i < bus.frames; ++i) {
        delay += (targetDelay - delay) * glide;
        const double readPosition = static_cast<double>(writeIndex) - delay;
        // `std::floor` without the library call: the read position is a whole frame count minus a delay
        // of at most a few seconds, far inside the range where truncation is exact.
        double whole = static_cast<double>(static_cast<std::int64_t>(readPosition));
        if (whole > readPosition) whole -= 1.0;
        const float fraction = static_cast<float>(readPosition - whole);
        const std::int64_t index = static_cast<std::int64_t>(whole);
        bool loud = false;
        for (int channel = 0; channel < 2; ++channel) {
            float* line = lines[channel];
            const float a = line[index & mask];
            const float b = line[(index + 1) & mask];
            const float delayed = a + fraction * (b - a);
            damp[channel] = delayed + damping * (damp[channel] - delayed);
            float& x = channels[channel][i];
            const float written = x + feedback * damp[channel];
            line[writeIndex & mask] = written;
            loud = loud || std::fabs(written) > quietLevel;
            x = dry * x + mix * delayed;
        }
        quietFrames = loud ? 0 : quietFrames + 1;
        ++writeIndex;
    }
    currentDelayFrames_ = delay;
    writeIndex_ = writeIndex;
    quietFrames_ = quietFrames;
    dampState_[0] = damp[0];
    dampState_[1] = damp[1];
}

} // namespace veltrane
