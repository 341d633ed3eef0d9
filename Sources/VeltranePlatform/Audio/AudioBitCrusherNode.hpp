#pragma once

// Bit reduction: models a low-resolution sampler. Rounding sets the word length, from 16 bits at 0 %
// down to 4 bits at 100 %; the decimation mix blends in a copy held for four frames at a time (a
// quarter of the sample rate, with its aliasing). The wet/dry mix blends the result with the input;
// at a mix of 0 the input passes unchanged, bit for bit.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

namespace veltrane {

class AudioBitCrusherNode : public AudioEffectNode {
public:
    static constexpr int decimationFrames = 4;

    /// 0 ... 100 percent: 16 bits at 0, 4 bits at 100. Any thread.
    void setRounding(float percent) noexcept { rounding_.set(percent); }
    float rounding() const noexcept { return rounding_.get(); }
    /// 0 ... 100 percent of the sample-and-hold copy. Any thread.
    void setDecimationMix(float percent) noexcept { decimationMix_.set(percent); }
    float decimationMix() const noexcept { return decimationMix_.get(); }
    /// 0 ... 100 percent of the crushed sound. Any thread.
    void setWetDryMix(float percent) noexcept { wetDryMix_.set(percent); }
    float wetDryMix() const noexcept { return wetDryMix_.get(); }

protected:
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    AudioParameter<float> rounding_{0.0f, 0.0f, 100.0f};
    AudioParameter<float> decimationMix_{0.0f, 0.0f, 100.0f};
    AudioParameter<float> wetDryMix_{0.0f, 0.0f, 100.0f};
    float held_[2] = {0, 0};
    int holdPosition_ = 0;
};

} // namespace veltrane
