#pragma once

// A playback-rate stage that keeps the pitch: at rate 2 everything upstream plays twice as fast at the
// same pitch, at 0.5 half as fast. Upstream nodes therefore run on their own clock, which advances
// `rate` frames per graph frame; the players behind this stage count their frames on that clock.
//
// It models a waveform-similarity overlap-add time stretcher: 40 ms Hann grains read the input at its
// own speed and are laid down every 20 ms, while the place they are read from advances by rate × 20 ms;
// each new grain is moved by up to 8 ms to where it best continues the grain that fades out (the
// highest normalised correlation), so tones keep their phase and level through the cross-fades. The two
// grains sounding at any moment cross-fade with weights that sum to one. At rate 1 the stage is a plain
// pass-through, bit for bit, and costs one copy; a change of rate switches over at a grain boundary
// without a jump in the sound.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <cstdint>
#include <memory>

namespace veltrane {

class AudioTimePitchNode : public AudioNode {
public:
    int maximumInputs() const noexcept override { return 1; }

    /// Playback rate, 0.25 ... 4 (1 = normal speed). Any thread.
    void setRate(float rate) noexcept { rate_.set(rate); }
    float rate() const noexcept { return rate_.get(); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept override;

private:
    float ringAt(int channel, std::int64_t position) const noexcept
    {
        return ring_[static_cast<std::size_t>(channel) * static_cast<std::size_t>(ringSize_) + static_cast<std::size_t>(position & ringMask_)];
    }
    /// Pulls the input until frame `end` of the upstream clock is in the ring.
    void fillTo(std::int64_t end, const RenderTime& time, const RenderInputs& inputs, int outputOffset,
                double contentPosition, double rate) noexcept;
    void enterStretch(double rate) noexcept;
    void advanceGrain(double rate) noexcept;
    /// Places the rising grain near its nominal start where it best continues the falling one.
    void alignGrain(const RenderTime& time, const RenderInputs& inputs, int outputOffset, double rate) noexcept;

    AudioParameter<float> rate_{1.0f, 0.25f, 4.0f};
    int hop_ = 960;
    int searchRadius_ = 384;
    int searchLength_ = 512;
    std::int64_t ringSize_ = 0;
    std::int64_t ringMask_ = 0;
    std::unique_ptr<float[]> ring_;
    std::unique_ptr<float[]> fadeIn_;
    std::unique_ptr<float[]> scratch_;

    bool started_ = false;
    bool stretching_ = false;
    std::int64_t written_ = 0;     // upstream frames in the ring: everything before this frame
    std::int64_t audibleEnd_ = 0;  // the upstream frame after the last block that had sound
    std::int64_t position_ = 0;    // pass-through: the upstream frame the next output frame plays
    std::int64_t grainStart_ = 0;  // stretching: where the rising grain reads from
    std::int64_t nominalStart_ = 0; // stretching: where it would read at the exact rate, before alignment
    std::int64_t fadingStart_ = 0; // stretching: where the falling grain started reading
    int grainOffset_ = 0;          // stretching: frames into the current hop
    double stepRemainder_ = 0;
};

} // namespace veltrane
