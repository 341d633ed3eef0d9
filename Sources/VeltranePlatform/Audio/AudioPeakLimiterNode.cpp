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
    // The window of the longest look-ahead, and one place more: while the frame gains rise, the queue of
    // minima holds the whole window and, for a moment, the frame that is about to push the oldest out.
    capacity_ = lookAheadFor(maximumAttackTime, sampleRate) + 2;
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
    lookAhead_ = std::clamp(lookAhead, 1, std::max(capacity_ - 2, 1));
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
    // The state in registers for the block, and the rings' places counted on rather than found by a
    // division every frame.
    float envelope = envelope_;
    int hold = hold_;
    std::int64_t position = position_;
    int slot = static_cast<int>(position % window);
    int queueHead = queueHead_;
    int queueSize = queueSize_;
    double minimaSum = minimaSum_;
    int minimaBelowOne = minimaBelowOne_;
    std::int64_t quietFrames = quietFrames_;
    float gain = lastGain_;
    const int capacity = capacity_;
    float* const delayedLeft = delayedLeft_.get();
    float* const delayedRight = delayedRight_.get();
    float* const frameGains = frameGains_.get();
    float* const minima = minima_.get();
    std::int64_t* const queueFrames = queueFrames_.get();
    float* const queueGains = queueGains_.get();
    for (int i = 0; i < bus.frames; ++i) {
        const float l = left[i] * preGain;
        const float r = right[i] * preGain;
        const float level = std::max(std::fabs(l), std::fabs(r));
        quietFrames = level == 0.0f ? quietFrames + 1 : 0;

        // The detector.
        if (hold > 0) {
            --hold;
        } else {
            envelope *= decay;
        }
        // A level close to the held peak renews the hold too: the sampled peaks of a steady tone differ a
        // little from cycle to cycle and must not let the detector sag between them.
        if (level >= 0.9f * envelope) {
            envelope = std::max(envelope, level);
            hold = holdFrames;
        }
        // The detector never falls below the frame's own level, so this gain brings the frame to the
        // ceiling at most.
        const float frameGain = envelope > threshold ? threshold / envelope : 1.0f;

        // The rings hold the window: this frame goes where the frame leaving the window was, and the
        // frame that comes out now, `lookAhead_` frames old, sits in the next place.
        const int outSlot = slot + 1 == window ? 0 : slot + 1;

        // The smallest frame gain of the window, the newest frame and the `lookAhead_` before it.
        while (queueSize > 0) {
            int back = queueHead + queueSize - 1;
            if (back >= capacity) back -= capacity;
            if (queueGains[back] < frameGain) break;
            --queueSize;
        }
        int tail = queueHead + queueSize;
        if (tail >= capacity) tail -= capacity;
        queueFrames[tail] = position;
        queueGains[tail] = frameGain;
        ++queueSize;
        if (queueFrames[queueHead] <= position - window) {
            if (++queueHead == capacity) queueHead = 0;
            --queueSize;
        }
        const float minimum = queueGains[queueHead];

        // The average of the last `window` minima falls in a straight line to a new peak's gain over the
        // look-ahead, and each of those minima already counts the frame that leaves now, so the average
        // never exceeds that frame's own gain.
        const float leaving = minima[slot];
        minimaSum += static_cast<double>(minimum) - static_cast<double>(leaving);
        minimaBelowOne += (minimum < 1.0f ? 1 : 0) - (leaving < 1.0f ? 1 : 0);
        minima[slot] = minimum;
        gain = 1.0f;
        if (minimaBelowOne > 0) {
            // Rounding in the running sum must not lift a frame above its own gain.
            gain = std::min(static_cast<float>(minimaSum / window), frameGains[outSlot]);
        } else {
            minimaSum = window; // exact again: no rounding carried over from a loud passage
        }

        float outLeft = delayedLeft[outSlot] * gain;
        float outRight = delayedRight[outSlot] * gain;
        if (gain < 1.0f) {
            // A level times the reciprocal of that level may round to one step above full scale.
            outLeft = std::clamp(outLeft, -threshold, threshold);
            outRight = std::clamp(outRight, -threshold, threshold);
        }
        delayedLeft[slot] = l;
        delayedRight[slot] = r;
        frameGains[slot] = frameGain;
        left[i] = outLeft;
        right[i] = outRight;
        ++position;
        slot = outSlot;
    }
    envelope_ = envelope;
    hold_ = hold;
    position_ = position;
    queueHead_ = queueHead;
    queueSize_ = queueSize;
    minimaSum_ = minimaSum;
    minimaBelowOne_ = minimaBelowOne;
    quietFrames_ = quietFrames;
    lastGain_ = gain;
    publishedGain_.store(lastGain_, std::memory_order_relaxed);
}

} // namespace veltrane
