#include "VeltranePlatform/Audio/AudioReverbNode.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane {

namespace {
// Lengths in frames at 48 kHz, scaled to the graph's rate.
constexpr int preDelayFrames = 576;                                  // 12 ms
constexpr int diffuserFrames[] = {229, 173, 611, 447};               // 3.6 to 12.7 ms
constexpr int lineFrames[] = {1447, 1721, 1949, 2213, 2467, 2671, 2953, 3229};
constexpr float diffusion = 0.7f;
constexpr double decaySeconds = 1.8;
constexpr double dampingHertz = 6000.0;
constexpr float outputLevel = 0.35f;
constexpr float quietLevel = 1e-7f;
}

void AudioReverbNode::prepare(double sampleRate, int)
{
    const double scale = sampleRate / 48000.0;
    auto scaled = [scale](int frames) { return std::max(1, static_cast<int>(std::lround(frames * scale))); };
    std::size_t total = static_cast<std::size_t>(scaled(preDelayFrames));
    for (int frames : diffuserFrames) total += static_cast<std::size_t>(scaled(frames));
    for (int frames : lineFrames) total += static_cast<std::size_t>(scaled(frames));
    memory_.assign(total, 0.0f);

    float* next = memory_.data();
    auto carve = [&next](Line& line, int length) {
        line.samples = next;
        line.length = length;
        line.position = 0;
        next += length;
    };
    carve(preDelay_, scaled(preDelayFrames));
    for (int index = 0; index < diffuserCount; ++index) carve(diffusers_[static_cast<std::size_t>(index)], scaled(diffuserFrames[index]));
    int longest = 0;
    for (int index = 0; index < lineCount; ++index) {
        const int length = scaled(lineFrames[index]);
        carve(lines_[static_cast<std::size_t>(index)], length);
        // -60 dB after `decaySeconds`, whatever the line's length.
        lineGain_[static_cast<std::size_t>(index)] = static_cast<float>(std::pow(10.0, -3.0 * length / (decaySeconds * sampleRate)));
        longest = std::max(longest, length);
    }
    damping_ = static_cast<float>(std::exp(-2.0 * std::numbers::pi * std::min(dampingHertz, 0.45 * sampleRate) / sampleRate));
    quietLimit_ = 4 * longest;
}

void AudioReverbNode::clear() noexcept
{
    std::fill(memory_.begin(), memory_.end(), 0.0f);
    dampState_.fill(0.0f);
    quietFrames_ = 0;
}

void AudioReverbNode::reset() noexcept
{
    active_ = false;
}

void AudioReverbNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    const float mix = wetDryMix_.get() / 100.0f;
    if (mix <= 0.0f) {
        active_ = false;
        return;
    }
    if (!active_) {
        if (bus.silent) return;
        clear();
        active_ = true;
    }
    const bool inputSilent = bus.silent;
    if (inputSilent) {
        if (quietFrames_ >= quietLimit_) return;
        bus.fillSilence();
    }
    const float dry = 1.0f - mix;
    const float wet = mix * outputLevel;
    float blockPeak = 0.0f;
    for (int i = 0; i < bus.frames; ++i) {
        float& left = bus.channels[0][i];
        float& right = bus.channels[1][i];
        float input = preDelay_.read();
        preDelay_.write(0.5f * (left + right));
        for (Line& diffuser : diffusers_) {
            const float delayed = diffuser.read();
            const float out = delayed - diffusion * input;
            diffuser.write(input + diffusion * out);
            input = out;
        }
        float taps[lineCount];
        float sum = 0.0f;
        for (std::size_t k = 0; k < lineCount; ++k) {
            taps[k] = lines_[k].read();
            dampState_[k] = taps[k] + damping_ * (dampState_[k] - taps[k]);
            sum += dampState_[k] * lineGain_[k];
        }
        // Householder reflection: every line gets its own signal minus a quarter of the sum.
        const float shared = sum * (2.0f / lineCount);
        for (std::size_t k = 0; k < lineCount; ++k) {
            const float injected = (k & 1) ? -input : input;
            lines_[k].write(dampState_[k] * lineGain_[k] - shared + injected);
        }
        const float hallLeft = taps[0] - taps[2] + taps[4] - taps[6];
        const float hallRight = taps[1] - taps[3] + taps[5] - taps[7];
        blockPeak = std::max(blockPeak, std::max(std::fabs(hallLeft), std::fabs(hallRight)));
        left = dry * left + wet * hallLeft;
        right = dry * right + wet * hallRight;
    }
    quietFrames_ = (inputSilent && blockPeak < quietLevel) ? quietFrames_ + bus.frames : 0;
}

} // namespace veltrane
