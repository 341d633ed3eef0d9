#include "VeltranePlatform/Audio/AudioEQNode.hpp"

#include <cmath>
#include <numbers>

namespace veltrane {

namespace {
constexpr double quietState = 1e-10;
}

void AudioEQNode::reset() noexcept
{
    for (auto& channel : state_) channel[0] = channel[1] = 0;
}

void AudioEQNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float frequency = frequency_.get();
    const float bandwidth = bandwidth_.get();
    if (frequency >= 0.5 * sampleRate()) {
        reset();
        return;
    }
    if (frequency != tunedFrequency_ || bandwidth != tunedBandwidth_) {
        const double w0 = 2.0 * std::numbers::pi * frequency / sampleRate();
        const double cosine = std::cos(w0);
        const double alpha = std::sin(w0) / (2.0 * bandwidth);
        const double a0 = 1.0 + alpha;
        b0_ = (1.0 - cosine) / 2.0 / a0;
        b1_ = (1.0 - cosine) / a0;
        b2_ = b0_;
        a1_ = -2.0 * cosine / a0;
        a2_ = (1.0 - alpha) / a0;
        tunedFrequency_ = frequency;
        tunedBandwidth_ = bandwidth;
    }
    if (bus.silent) {
        bool quiet = true;
        for (const auto& channel : state_) quiet = quiet && std::fabs(channel[0]) < quietState && std::fabs(channel[1]) < quietState;
        if (quiet) {
            reset();
            return;
        }
        bus.fillSilence(); // let the filter ring out
    }
    for (int channel = 0; channel < 2; ++channel) {
        float* samples = bus.channels[channel];
        double z1 = state_[channel][0];
        double z2 = state_[channel][1];
        for (int i = 0; i < bus.frames; ++i) {
            const double x = samples[i];
            const double y = b0_ * x + z1;
            z1 = b1_ * x - a1_ * y + z2;
            z2 = b2_ * x - a2_ * y;
            samples[i] = static_cast<float>(y);
        }
        state_[channel][0] = z1;
        state_[channel][1] = z2;
    }
}

} // namespace veltrane
