#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

int AudioPeakLimiterNode::lookAheadFor(float attackSeconds, double sampleRate) noexcept
{
    return std::max(1, static_cast<int>(std::lround(static_cast<double>(attackSeconds) * sampleRate)));
}

void AudioPeakLimiterNode::prepare(double sampleRate, int)
{
    capacity_ = lookAheadFor(maximumAttackTime, sampleRate) + 1;
    const auto size = static_cast<std::size_t>(capacity_);
    delayedLeft_ = std::make_unique<float[]>(size);
    delayedRight_ = std::make_unique<float[]>(size);
    frameGains_ = std::make_unique<float[]>(size);
    minima_ = std::make_unique<float[]>(size);
    queueFrames_ = std::make_unique<std::int64_t[]>(size);
    queueGains_ = std::make_unique<float[]>(size);
    envelope_ = 0.0f;
    hold_ = 0;
    restart(lookAheadFor(attackTime_.get(), sampleRate));
}

void AudioPeakLimiterNode::reset() noexcept
{
    envelope_ = 0.0f;
    hold_ = 0;
    restart(lookAhead_);
}

void AudioPeakLimiterNode::restart(int lookAhead) noexcept
{
    if (!delayedLeft_) return; // not prepared yet
    lookAhead_ = std::clamp(lookAhead, 1, std::max(capacity_ - 1, 1));
    const int window = lookAhead_ + 1;
    std::fill_n(delayedLeft_.get(), window, 0.0f);
    std::fill_n(delayedRight_.get(), window, 0.0f);
    std::fill_n(frameGains_.get(), window, 1.0f);
    std::fill_n(minima_.get(), window, 1.0f);
    position_ = 0;
    queueHead_ = 0;
    queueSize_ = 0;
    minimaSum_ = window;
    minimaBelowOne_ = 0;
    quietFrames_ = window;
    lastGain_ = 1.0f;
    publishedGain_.store(1.0f, std::memory_order_relaxed);
}

void AudioPeakLimiterNode::step(float& left, float& right, float level, float decay, int holdFrames) noexcept
{
    if (hold_ > 0) {
        --hold_;
    } else {
        envelope_ *= decay;
    }
    // A level close to the held peak renews the hold too: the sampled peaks of a steady tone differ a
    // little from cycle to cycle and must not let the detector sag between them.
    if (level >= 0.9f * envelope_) {
        envelope_ = std::max(envelope_, level);
        hold_ = holdFrames;
    }
    // The detector never falls below the frame's own level, so this gain brings the frame to the ceiling
    // at most.
    const float frameGain = envelope_ > threshold ? threshold / envelope_ : 1.0f;

    const int window = lookAhead_ + 1;
    // The rings hold the window: this frame goes where the frame leaving the window was, and the frame
    // that comes out now, `lookAhead_` frames old, sits in the next place.
    const auto slot = static_cast<std::size_t>(position_ % window);
    const auto outSlot = static_cast<std::size_t>((position_ + 1) % window);

    // The smallest frame gain of the window, the newest frame and the `lookAhead_` before it.
    while (queueSize_ > 0) {
        const int back = (queueHead_ + queueSize_ - 1) % capacity_;
        if (queueGains_[static_cast<std::size_t>(back)] < frameGain) break;
        --queueSize_;
    }
    const int tail = (queueHead_ + queueSize_) % capacity_;
    queueFrames_[static_cast<std::size_t>(tail)] = position_;
    queueGains_[static_cast<std::size_t>(tail)] = frameGain;
    ++queueSize_;
    if (queueFrames_[static_cast<std::size_t>(queueHead_)] <= position_ - window) {
        queueHead_ = (queueHead_ + 1) % capacity_;
        --queueSize_;
    }
    const float minimum = queueGains_[static_cast<std::size_t>(queueHead_)];

    // The average of the last `window` minima falls in a straight line to a new peak's gain over the
    // look-ahead, and each of those minima already counts the frame that leaves now, so the average
    // never exceeds that frame's own gain.
    const float leaving = minima_[slot];
    minimaSum_ += static_cast<double>(minimum) - static_cast<double>(leaving);
    minimaBelowOne_ += (minimum < 1.0f ? 1 : 0) - (leaving < 1.0f ? 1 : 0);
    minima_[slot] = minimum;
    float gain = 1.0f;
    if (minimaBelowOne_ > 0) {
        // Rounding in the running sum must not lift a frame above its own gain.
        gain = std::min(static_cast<float>(minimaSum_ / window), frameGains_[outSlot]);
    } else {
        minimaSum_ = window; // exact again: no rounding carried over from a loud passage
    }

    float outLeft = delayedLeft_[outSlot] * gain;
    float outRight = delayedRight_[outSlot] * gain;
    if (gain < 1.0f) {
        // A level times the reciprocal of that level may round to one step above full scale.
        outLeft = std::clamp(outLeft, -threshold, threshold);
        outRight = std::clamp(outRight, -threshold, threshold);
    }
    delayedLeft_[slot] = left;
    delayedRight_[slot] = right;
    frameGains_[slot] = frameGain;
    left = outLeft;
    right = outRight;
    lastGain_ = gain;
    ++position_;
}

void AudioPeakLimiterNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float sampleRateF = static_cast<float>(sampleRate());
    const int lookAhead = lookAheadFor(attackTime_.get(), sampleRate());
    if (lookAhead != lookAhead_) restart(lookAhead);
    const float decay = std::exp(-1.0f / (decayTime_.get() * sampleRateF));
    const int window = lookAhead_ + 1;
    if (bus.silent && quietFrames_ >= window && minimaBelowOne_ == 0) {
        // Nothing sounds in the look-ahead and the gain is back at unity: silence only lets the detector
        // fall. The rings hold zeros and unity gains, which stay true for any frame they stand for; only
        // the queue of minima names frames, so it starts afresh.
        if (hold_ >= bus.frames) {
            hold_ -= bus.frames;
        } else {
            envelope_ *= std::pow(decay, static_cast<float>(bus.frames - hold_));
            hold_ = 0;
        }
        queueSize_ = 0;
        position_ += bus.frames;
        quietFrames_ += bus.frames;
        lastGain_ = 1.0f;
        publishedGain_.store(1.0f, std::memory_order_relaxed);
        return;
    }
    bus.materialize();
    const float preGain = std::pow(10.0f, preGain_.get() / 20.0f);
    const int holdFrames = static_cast<int>(0.005f * sampleRateF);
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    for (int i = 0; i < bus.frames; ++i) {
        float l = left[i] * preGain;
        float r = right[i] * preGain;
        const float level = std::max(std::fabs(l), std::fabs(r));
        quietFrames_ = level == 0.0f ? quietFrames_ + 1 : 0;
        step(l, r, level, decay, holdFrames);
        left[i] = l;
        right[i] = r;
    }
    publishedGain_.store(lastGain_, std::memory_order_relaxed);
}

} // namespace veltrane
