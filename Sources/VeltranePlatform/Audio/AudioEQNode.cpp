#include "VeltranePlatform/Audio/AudioEQNode.hpp"

#include <cmath>
#include <numbers>

namespace veltrane {

namespace {
constexpr double quietState = 1e-10;
}

void AudioEQNode::reset() noexcept
{
    for (auto& channel : history_) {
        for (double& value : channel) value = 0;
    }
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
        for (const auto& channel : history_) {
            for (double value : channel) quiet = quiet && std::fabs(value) < quietState;
        }
        if (quiet) {
            reset();
            return;
        }
        bus.fillSilence(); // let the filter ring out
    }
    // Direct form I, both channels in one pass: the only chain from one output to the next is one
    // multiply and one add, and the two channels' chains run side by side.
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    double lx1 = history_[0][0], lx2 = history_[0][1], ly1 = history_[0][2], ly2 = history_[0][3];
    double rx1 = history_[1][0], rx2 = history_[1][1], ry1 = history_[1][2], ry2 = history_[1][3];
    const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
    for (int i = 0; i < bus.frames; ++i) {
        const double xl = left[i];
        const double xr = right[i];
        const double yl = (b0 * xl + b1 * lx1 + b2 * lx2 - a2 * ly2) - a1 * ly1;
        const double yr = (b0 * xr + b1 * rx1 + b2 * rx2 - a2 * ry2) - a1 * ry1;
        lx2 = lx1;
        lx1 = xl;
        ly2 = ly1;
        ly1 = yl;
        rx2 = rx1;
        rx1 = xr;
        ry2 = ry1;
        ry1 = yr;
        left[i] = static_cast<float>(yl);
        right[i] = static_cast<float>(yr);
    }
    history_[0][0] = lx1;
    history_[0][1] = lx2;
    history_[0][2] = ly1;
    history_[0][3] = ly2;
    history_[1][0] = rx1;
    history_[1][1] = rx2;
    history_[1][2] = ry1;
    history_[1][3] = ry2;
}

} // namespace veltrane
