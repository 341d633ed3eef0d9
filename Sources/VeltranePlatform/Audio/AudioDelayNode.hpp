#pragma once

// A stereo echo: models a digital delay with a damped feedback loop. The delayed signal is read with
// linear interpolation from a line of up to two seconds; changes of the delay time glide over about
// 50 ms (a tape-like pitch bend rather than a click); what is fed back passes a gentle low-pass at
// 15 kHz, so repeats darken a little as they fade. The wet/dry mix blends the echoes with the input; at
// a mix of 0 the line rests and the input passes unchanged, bit for bit.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <cstdint>
#include <memory>

namespace veltrane {

class AudioDelayNode : public AudioEffectNode {
public:
    static constexpr double maximumDelayTime = 2.0;

    /// Seconds, 0 ... 2; below one frame the echo comes one frame late. Any thread.
    void setDelayTime(double seconds) noexcept { delayTime_.set(seconds); }
    double delayTime() const noexcept { return delayTime_.get(); }
    /// Percent of the echo fed back, -100 ... 100 (held within ±99 so the loop always fades). Any thread.
    void setFeedback(float percent) noexcept { feedback_.set(percent); }
    float feedback() const noexcept { return feedback_.get(); }
    /// Percent of the echoes in the output, 0 ... 100. Any thread.
    void setWetDryMix(float percent) noexcept { wetDryMix_.set(percent); }
    float wetDryMix() const noexcept { return wetDryMix_.get(); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    AudioParameter<double> delayTime_{0.25, 0.0, maximumDelayTime};
    AudioParameter<float> feedback_{0.0f, -100.0f, 100.0f};
    AudioParameter<float> wetDryMix_{0.0f, 0.0f, 100.0f};

    std::unique_ptr<float[]> line_;
    std::int64_t lineMask_ = 0;
    std::int64_t writeIndex_ = 0;
    double currentDelayFrames_ = 1;
    double glide_ = 0;
    float damping_ = 0;
    float dampState_[2] = {0, 0};
    std::int64_t quietFrames_ = 0;
    bool active_ = false;
};

} // namespace veltrane
