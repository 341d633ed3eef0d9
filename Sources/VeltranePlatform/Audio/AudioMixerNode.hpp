#pragma once

// A mixer: sums any number of inputs, then applies its output volume and pan. Pan is a balance that
// turns one side down (at -1 the right side is silent, at 1 the left) and leaves the centre at unity,
// so a mixer at volume 1 and pan 0 passes a single input through unchanged, bit for bit. Changes of
// volume and pan glide over one block, so automation steps do not click.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <memory>

namespace veltrane {

class AudioMixerNode : public AudioNode {
public:
    int maximumInputs() const noexcept override { return unlimitedInputs; }

    /// Linear gain, 0 ... 4. Any thread.
    void setOutputVolume(float volume) noexcept { outputVolume_.set(volume); }
    float outputVolume() const noexcept { return outputVolume_.get(); }
    /// -1 (left) ... 1 (right). Any thread.
    void setPan(float pan) noexcept { pan_.set(pan); }
    float pan() const noexcept { return pan_.get(); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept override;

private:
    AudioParameter<float> outputVolume_{1.0f, 0.0f, 4.0f};
    AudioParameter<float> pan_{0.0f, -1.0f, 1.0f};
    std::unique_ptr<float[]> scratch_;
    float appliedGain_[2] = {1.0f, 1.0f};
    bool fresh_ = true;
};

} // namespace veltrane
