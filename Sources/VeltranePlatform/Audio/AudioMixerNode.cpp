#include "VeltranePlatform/Audio/AudioMixerNode.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"

#include <algorithm>

namespace veltrane {

void AudioMixerNode::prepare(double, int maximumFrames)
{
    scratch_ = std::make_unique<float[]>(static_cast<std::size_t>(maximumFrames) * 2);
}

void AudioMixerNode::reset() noexcept
{
    // A fresh mixer starts at its settings rather than gliding to them from unity.
    const float volume = outputVolume_.get();
    const float pan = pan_.get();
    appliedGain_[0] = volume * std::min(1.0f, 1.0f - pan);
    appliedGain_[1] = volume * std::min(1.0f, 1.0f + pan);
    fresh_ = true;
}

void AudioMixerNode::render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept
{
    const int frames = out.frames;
    // Players add straight into the sum. Of the other inputs, the first that has sound renders straight
    // into the output; the others go through the scratch block and are added.
    out.silent = true;
    AudioBus scratch{{scratch_.get(), scratch_.get() + maximumFrames()}, frames, false};
    for (int index = 0; index < inputs.count(); ++index) {
        if (inputs.pullAdding(index, time, out)) continue;
        if (out.silent) {
            out.silent = false;
            inputs.pull(index, time, out);
            continue;
        }
        scratch.silent = false;
        inputs.pull(index, time, scratch);
        if (scratch.silent) continue;
        kernels::add(out.channels[0], scratch.channels[0], frames);
        kernels::add(out.channels[1], scratch.channels[1], frames);
    }

    const float volume = outputVolume_.get();
    const float pan = pan_.get();
    const float target[2] = {volume * std::min(1.0f, 1.0f - pan), volume * std::min(1.0f, 1.0f + pan)};
    if (fresh_) {
        appliedGain_[0] = target[0];
        appliedGain_[1] = target[1];
        fresh_ = false;
    }
    if (out.silent || (target[0] == 0.0f && target[1] == 0.0f && appliedGain_[0] == 0.0f && appliedGain_[1] == 0.0f)) {
        out.silent = true;
        appliedGain_[0] = target[0];
        appliedGain_[1] = target[1];
        return;
    }
    for (int channel = 0; channel < 2; ++channel) {
        float* samples = out.channels[channel];
        const float from = appliedGain_[channel];
        const float to = target[channel];
        if (from == to) {
            if (to != 1.0f) kernels::scale(samples, to, frames);
        } else {
            kernels::scaleRamp(samples, from, (to - from) / static_cast<float>(frames), frames);
        }
        appliedGain_[channel] = to;
    }
}

} // namespace veltrane
