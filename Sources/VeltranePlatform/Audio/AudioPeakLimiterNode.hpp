#pragma once

// A peak limiter at the end of a chain: models a feed-forward limiter without look-ahead. After the
// pre-gain, a peak detector follows the louder of the two channels, rising at once, holding each peak for
// 5 ms (so the gain does not ripple with the cycles of a low tone) and then falling over the decay time; one gain for both channels (so the stereo image holds) brings that peak back to full
// scale, falling towards it within the attack time and rising with the detector. Without look-ahead the
// first moments of a sudden peak pass before the gain has fallen. Below full scale, at a pre-gain of 0 dB
// and with the gain recovered, the sound passes unchanged, bit for bit.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

namespace veltrane {

class AudioPeakLimiterNode : public AudioEffectNode {
public:
    static constexpr float threshold = 1.0f;

    /// Seconds, 0.0001 ... 0.2. Any thread.
    void setAttackTime(float seconds) noexcept { attackTime_.set(seconds); }
    float attackTime() const noexcept { return attackTime_.get(); }
    /// Seconds, 0.001 ... 2. Any thread.
    void setDecayTime(float seconds) noexcept { decayTime_.set(seconds); }
    float decayTime() const noexcept { return decayTime_.get(); }
    /// dB, -40 ... 40. Any thread.
    void setPreGain(float decibels) noexcept { preGain_.set(decibels); }
    float preGain() const noexcept { return preGain_.get(); }

    /// The gain the limiter applied last, 1 when it is not limiting. Any thread.
    float currentGain() const noexcept { return publishedGain_.load(std::memory_order_relaxed); }

protected:
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    AudioParameter<float> attackTime_{0.005f, 0.0001f, 0.2f};
    AudioParameter<float> decayTime_{0.05f, 0.001f, 2.0f};
    AudioParameter<float> preGain_{0.0f, -40.0f, 40.0f};
    float gain_ = 1.0f;
    float envelope_ = 0.0f;
    int hold_ = 0;
    std::atomic<float> publishedGain_{1.0f};
};

} // namespace veltrane
