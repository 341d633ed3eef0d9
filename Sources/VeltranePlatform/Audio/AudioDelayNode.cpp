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
    float* lines[2] = {line_.get(), line_.get() + size};
    for (int i = 0; i < bus.frames; ++i) {
        currentDelayFrames_ += (targetDelay - currentDelayFrames_) * glide_;
        const double readPosition = static_cast<double>(writeIndex_) - currentDelayFrames_;
        const double whole = std::floor(readPosition);
        const float fraction = static_cast<float>(readPosition - whole);
        const std::int64_t index = static_cast<std::int64_t>(whole);
        bool loud = false;
        for (int channel = 0; channel < 2; ++channel) {
            float* line = lines[channel];
            const float a = line[index & lineMask_];
            const float b = line[(index + 1) & lineMask_];
            const float delayed = a + fraction * (b - a);
            float& damp = dampState_[channel];
            damp = delayed + damping_ * (damp - delayed);
            float& x = bus.channels[channel][i];
            const float written = x + feedback * damp;
            line[writeIndex_ & lineMask_] = written;
            loud = loud || std::fabs(written) > quietLevel;
            x = dry * x + mix * delayed;
        }
        quietFrames_ = loud ? 0 : quietFrames_ + 1;
        ++writeIndex_;
    }
}

} // namespace veltrane
