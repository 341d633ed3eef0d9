#pragma once

// A reverb voiced as a medium concert hall (a decay of about 1.8 s that darkens as it fades). It
// models the room with a feedback delay network: the input, summed to mono, waits a short pre-delay,
// is smeared by four all-pass diffusers and feeds eight delay lines of unrelated lengths (30 to 67 ms)
// that mix into each other through a Householder matrix; each line loses level in proportion to its
// length and its highs through a one-pole low-pass. Left and right are taken from different lines, so
// the tail is wide. The wet/dry mix blends the hall with the input; at a mix of 0 the hall rests and the
// input passes unchanged, bit for bit.

#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Audio/AudioParameter.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace veltrane {

class AudioReverbNode : public AudioEffectNode {
public:
    /// Percent of the hall in the output, 0 ... 100. Any thread.
    void setWetDryMix(float percent) noexcept { wetDryMix_.set(percent); }
    float wetDryMix() const noexcept { return wetDryMix_.get(); }

protected:
    void prepare(double sampleRate, int maximumFrames) override;
    void reset() noexcept override;
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    static constexpr int lineCount = 8;
    static constexpr int diffuserCount = 4;

    struct Line {
        float* samples = nullptr;
        int length = 1;
        int position = 0; // where the next frame is read (the oldest) and then written
    };

    void clear() noexcept;

    AudioParameter<float> wetDryMix_{0.0f, 0.0f, 100.0f};
    std::vector<float> memory_;
    Line preDelay_;
    std::array<Line, diffuserCount> diffusers_;
    std::array<Line, lineCount> lines_;
    std::array<float, lineCount> lineGain_{};
    std::array<float, lineCount> dampState_{};
    float damping_ = 0;
    std::int64_t quietFrames_ = 0;
    std::int64_t quietLimit_ = 0;
    bool active_ = false;
};

} // namespace veltrane
