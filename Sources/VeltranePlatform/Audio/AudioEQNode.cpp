#include "VeltranePlatform/Audio/AudioEQNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

#include <cmath>
#include <cstring>
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
    // Direct form I, both channels in one pass as the two lanes of one vector, two frames at a time.
    // The first frame of a pair is the textbook step; the second is that step with the first's output
    // written out, so that both depend on the outputs before the pair alone: the chain from output to
    // output, one multiply and one addition, is walked once per pair rather than once per frame. The
    // second frame's sum is grouped differently, which moves it by double rounding, far below a float
    // step.
    using Double2 = double __attribute__((vector_size(16)));
    using Float2 = float __attribute__((vector_size(8)));
    float* left = bus.channels[0];
    float* right = bus.channels[1];
    Double2 x1 = {history_[0][0], history_[1][0]};
    Double2 x2 = {history_[0][1], history_[1][1]};
    Double2 y1 = {history_[0][2], history_[1][2]};
    Double2 y2 = {history_[0][3], history_[1][3]};
    const double b0 = b0_, b1 = b1_, b2 = b2_, a1 = a1_, a2 = a2_;
    const double c1 = a1 * a1 - a2, c2 = a1 * a2;
    int i = 0;
    for (; i + 2 <= bus.frames; i += 2) {
        // Left and right of the pair side by side, then each frame's two samples widened at once.
        kernels::Float4 pair;
        std::memcpy(&pair, left + i, sizeof(float) * 2);
        std::memcpy(reinterpret_cast<char*>(&pair) + sizeof(float) * 2, right + i, sizeof(float) * 2);
        const kernels::Float4 frames = __builtin_shufflevector(pair, pair, 0, 2, 1, 3);
        const Double2 xa = __builtin_convertvector(__builtin_shufflevector(frames, frames, 0, 1), Double2);
        const Double2 xb = __builtin_convertvector(__builtin_shufflevector(frames, frames, 2, 3), Double2);
        const Double2 ua = b0 * xa + b1 * x1 + b2 * x2;
        const Double2 ub = b0 * xb + b1 * xa + b2 * x1;
        const Double2 ya = (ua - a2 * y2) - a1 * y1;
        const Double2 yb = ((ub - a1 * ua) + c2 * y2) + c1 * y1;
        x2 = xa;
        x1 = xb;
        y2 = ya;
        y1 = yb;
        const Float2 outA = __builtin_convertvector(ya, Float2);
        const Float2 outB = __builtin_convertvector(yb, Float2);
        const kernels::Float4 out = __builtin_shufflevector(outA, outB, 0, 2, 1, 3);
        std::memcpy(left + i, &out, sizeof(float) * 2);
        std::memcpy(right + i, reinterpret_cast<const char*>(&out) + sizeof(float) * 2, sizeof(float) * 2);
    }
    for (; i < bus.frames; ++i) {
        const Float2 in = {left[i], right[i]};
        const Double2 x = __builtin_convertvector(in, Double2);
        const Double2 y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2) - a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        const Float2 out = __builtin_convertvector(y, Float2);
        left[i] = out[0];
        right[i] = out[1];
    }
    for (int channel = 0; channel < 2; ++channel) {
        history_[channel][0] = x1[channel];
        history_[channel][1] = x2[channel];
        history_[channel][2] = y1[channel];
        history_[channel][3] = y2[channel];
    }
}

} // namespace veltrane
