#pragma once

// A one-band equaliser whose band is a low-pass filter: a two-pole (12 dB per octave) low-pass, the
// classic bilinear-transform biquad, run in double precision so that low corner frequencies stay
// stable. The band's bandwidth sets how the corner behaves, as the filter's quality factor: 0.7 gives
// the flat Butterworth response, larger values a resonant peak at the corner, smaller ones a softer
// knee. A corner at or above the Nyquist frequency passes the sound through unchanged, bit for bit, as
// does a bypassed band.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

namespace veltrane {

class AudioEQNode : public AudioEffectNode {
public:
    /// Corner frequency in Hz, 10 ... 96000. Any thread.
    void setFrequency(float hertz) noexcept { frequency_.set(hertz); }
    float frequency() const noexcept { return frequency_.get(); }
    /// 0.05 ... 5 (see above). Any thread.
    void setBandwidth(float bandwidth) noexcept { bandwidth_.set(bandwidth); }
    float bandwidth() const noexcept { return bandwidth_.get(); }

protected:
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    AudioParameter<float> frequency_{20000.0f, 10.0f, 96000.0f};
    AudioParameter<float> bandwidth_{0.7f, 0.05f, 5.0f};
    float tunedFrequency_ = -1.0f;
    float tunedBandwidth_ = -1.0f;
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double history_[2][4] = {}; // per channel: the last two inputs, then the last two outputs
};

} // namespace veltrane
