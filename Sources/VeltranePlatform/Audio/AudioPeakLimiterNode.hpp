#pragma once

// A look-ahead peak limiter at the end of a chain: no sample leaves it above full scale. After the
// pre-gain, a peak detector follows the louder of the two channels, rising at once, holding each peak for
// 5 ms (so the gain does not ripple with the cycles of a low tone) and then falling over the decay time.
// The sound itself is delayed by the attack time, and one gain for both channels (so the stereo image
// holds) falls towards each peak over that time, so it has reached the peak's gain by the time the
// peak comes out: a loud onset is held at the ceiling from its first sample. The delay is the node's
// latency (`latencyFrames`). Below full scale, at a pre-gain of 0 dB and with the gain recovered, the
// sound passes unchanged, bit for bit, only later by the latency.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <cstdint>
#include <memory>

namespace veltrane {

class AudioPeakLimiterNode : public AudioEffectNode {
public:
    static constexpr float threshold = 1.0f;
    static constexpr float maximumAttackTime = 0.2f;

    /// Seconds, 0.0001 ... 0.2: how long the gain takes to fall to a peak, and how long the sound is
    /// delayed to look ahead at it. Any thread; a change while sound plays restarts the look-ahead.
    void setAttackTime(float seconds) noexcept { attackTime_.set(seconds); }
    float attackTime() const noexcept { return attackTime_.get(); }
    /// Seconds, 0.001 ... 2. Any thread.
    void setDecayTime(float seconds) noexcept { decayTime_.set(seconds); }
    float decayTime() const noexcept { return decayTime_.get(); }
    /// dB, -40 ... 40. Any thread.
    void setPreGain(float decibels) noexcept { preGain_.set(decibels); }
    float preGain() const noexcept { return preGain_.get(); }

    /// Frames by which the output follows the input: the attack time at the graph's sample rate, at
    /// least one frame; none while bypassed. Main thread.
    std::int64_t latencyFrames() const noexcept override
    {
        return isBypassed() ? 0 : lookAheadFor(attackTime_.get(), sampleRate());
    }

    /// The gain the limiter applied last, 1 when it is not limiting. Any thread.
    float currentGain() const noexcept { return publishedGain_.load(std::memory_order_relaxed); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    static int lookAheadFor(float attackSeconds, double sampleRate) noexcept;
    void restart(int lookAhead) noexcept;

    AudioParameter<float> attackTime_{0.005f, 0.0001f, maximumAttackTime};
    AudioParameter<float> decayTime_{0.05f, 0.001f, 2.0f};
    AudioParameter<float> preGain_{0.0f, -40.0f, 40.0f};

    // The detector.
    float envelope_ = 0.0f;
    int hold_ = 0;

    // The look-ahead, over a window of `lookAhead_ + 1` frames, in rings made by `prepare` for the longest
    // attack: the delayed sound, each frame's own gain (the most it may be given), the running minimum of
    // those gains (a queue of falling gains), and the sum of the minima whose average is the gain applied.
    int capacity_ = 0;
    int lookAhead_ = 0;
    std::int64_t position_ = 0;
    std::unique_ptr<float[]> delayedLeft_, delayedRight_, frameGains_, minima_;
    std::unique_ptr<std::int64_t[]> queueFrames_;
    std::unique_ptr<float[]> queueGains_;
    int queueHead_ = 0;
    int queueSize_ = 0;
    double minimaSum_ = 0.0;
    int minimaBelowOne_ = 0;
    // Frames since the last one that was not silence: once the whole window has passed, a silent block
    // passes as silence.
    std::int64_t quietFrames_ = 0;
    float lastGain_ = 1.0f;
    std::atomic<float> publishedGain_{1.0f};
};

} // namespace veltrane
