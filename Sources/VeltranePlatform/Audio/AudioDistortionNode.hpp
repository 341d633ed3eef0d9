#pragma once

// Drive: models an overdriven small loudspeaker. The wet path raises the level by the pre-gain, bends
// it through an asymmetric saturation curve (a cone pushed out further than it can pull back), then
// loses the lows below about 150 Hz and the highs above about 4.5 kHz, as a small driver does. The
// wet/dry mix blends that with the untouched input; at a mix of 0 the input passes unchanged, bit for
// bit.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

namespace veltrane {

class AudioDistortionNode : public AudioEffectNode {
public:
    /// Gain before the saturation in dB, -80 ... 20. Any thread.
    void setPreGain(float decibels) noexcept { preGain_.set(decibels); }
    float preGain() const noexcept { return preGain_.get(); }
    /// Percent of the distorted sound, 0 ... 100. Any thread.
    void setWetDryMix(float percent) noexcept { wetDryMix_.set(percent); }
    float wetDryMix() const noexcept { return wetDryMix_.get(); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    AudioParameter<float> preGain_{0.0f, -80.0f, 20.0f};
    AudioParameter<float> wetDryMix_{0.0f, 0.0f, 100.0f};
    float highPassCoefficient_ = 0;
    float lowPassCoefficient_ = 0;
    float highPassInput_[2] = {0, 0};
    float highPassOutput_[2] = {0, 0};
    float lowPassOutput_[2] = {0, 0};
};

} // namespace veltrane
