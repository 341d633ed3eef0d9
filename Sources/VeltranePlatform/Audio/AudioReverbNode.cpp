#include "VeltranePlatform/Audio/AudioReverbNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

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
    // In runs in which no delay line comes round to its start. Within a run each line reads only what
    // was written before the run (a line is longer than the run), so each stage can go over the whole
    // run before the next: the pre-delay and the diffusers four frames at a time, then the feedback
    // network frame by frame with its state in registers. Every sample meets the same operations in
    // the same order as when the stages took turns frame by frame, so the sound is the same to the bit.
    constexpr int longestRun = 256;
    alignas(16) float diffused[longestRun];
    float damped[lineCount];
    for (std::size_t k = 0; k < lineCount; ++k) damped[k] = dampState_[k];
    float gains[lineCount];
    for (std::size_t k = 0; k < lineCount; ++k) gains[k] = lineGain_[k];
    const float damping = damping_;
    for (int done = 0; done < bus.frames;) {
        int count = std::min(bus.frames - done, longestRun);
        count = std::min(count, preDelay_.length - preDelay_.position);
        for (const Line& diffuser : diffusers_) count = std::min(count, diffuser.length - diffuser.position);
        for (const Line& line : lines_) count = std::min(count, line.length - line.position);
        float* left = bus.channels[0] + done;
        float* right = bus.channels[1] + done;

        float* pre = preDelay_.samples + preDelay_.position;
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            kernels::store(diffused + i, kernels::load(pre + i));
            kernels::store(pre + i, 0.5f * (kernels::load(left + i) + kernels::load(right + i)));
        }
        for (; i < count; ++i) {
            diffused[i] = pre[i];
            pre[i] = 0.5f * (left[i] + right[i]);
        }
        for (const Line& diffuser : diffusers_) {
            float* line = diffuser.samples + diffuser.position;
            for (i = 0; i + 4 <= count; i += 4) {
                const kernels::Float4 input = kernels::load(diffused + i);
                const kernels::Float4 out = kernels::load(line + i) - diffusion * input;
                kernels::store(line + i, input + diffusion * out);
                kernels::store(diffused + i, out);
            }
            for (; i < count; ++i) {
                const float input = diffused[i];
                const float out = line[i] - diffusion * input;
                line[i] = input + diffusion * out;
                diffused[i] = out;
            }
        }

        float* lines[lineCount];
        for (std::size_t k = 0; k < lineCount; ++k) lines[k] = lines_[k].samples + lines_[k].position;
        for (i = 0; i < count; ++i) {
            const float input = diffused[i];
            float taps[lineCount];
            float sum = 0.0f;
#pragma GCC unroll 8
            for (std::size_t k = 0; k < lineCount; ++k) {
                taps[k] = lines[k][i];
                damped[k] = taps[k] + damping * (damped[k] - taps[k]);
                sum += damped[k] * gains[k];
            }
            // Householder reflection: every line gets its own signal minus a quarter of the sum.
            const float shared = sum * (2.0f / lineCount);
#pragma GCC unroll 8
            for (std::size_t k = 0; k < lineCount; ++k) {
                const float injected = (k & 1) ? -input : input;
                lines[k][i] = damped[k] * gains[k] - shared + injected;
            }
            const float hallLeft = taps[0] - taps[2] + taps[4] - taps[6];
            const float hallRight = taps[1] - taps[3] + taps[5] - taps[7];
            blockPeak = std::max(blockPeak, std::max(std::fabs(hallLeft), std::fabs(hallRight)));
            left[i] = dry * left[i] + wet * hallLeft;
            right[i] = dry * right[i] + wet * hallRight;
        }

        auto advance = [count](Line& line) {
            line.position += count;
            if (line.position == line.length) line.position = 0;
        };
        advance(preDelay_);
        for (Line& diffuser : diffusers_) advance(diffuser);
        for (Line& line : lines_) advance(line);
        done += count;
    }
    for (std::size_t k = 0; k < lineCount; ++k) dampState_[k] = damped[k];
    quietFrames_ = (inputSilent && blockPeak < quietLevel) ? quietFrames_ + bus.frames : 0;
}

} // namespace veltrane
