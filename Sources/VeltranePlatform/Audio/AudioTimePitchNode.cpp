#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace veltrane {

void AudioTimePitchNode::prepare(double sampleRate, int maximumFrames)
{
    hop_ = std::max(64, static_cast<int>(std::lround(0.02 * sampleRate)));
    searchRadius_ = std::max(8, static_cast<int>(std::lround(0.008 * sampleRate)));
    searchLength_ = std::max(16, static_cast<int>(std::lround(0.0107 * sampleRate)));
    // The ring holds the history one grain reaches back plus the look-ahead of the fastest rate.
    std::int64_t size = 1;
    while (size < 8LL * hop_ + 4LL * searchRadius_ + 2LL * searchLength_ + 2LL * maximumFrames) size *= 2;
    ringSize_ = size;
    ringMask_ = size - 1;
    ring_ = std::make_unique<float[]>(static_cast<std::size_t>(size) * 2);
    fadeIn_ = std::make_unique<float[]>(static_cast<std::size_t>(hop_));
    for (int i = 0; i < hop_; ++i) {
        const double s = std::sin(std::numbers::pi * i / (2.0 * hop_));
        fadeIn_[static_cast<std::size_t>(i)] = static_cast<float>(s * s);
    }
    scratch_ = std::make_unique<float[]>(static_cast<std::size_t>(maximumFrames) * 2);
}

void AudioTimePitchNode::reset() noexcept
{
    started_ = false;
    stretching_ = false;
    std::memset(ring_.get(), 0, sizeof(float) * static_cast<std::size_t>(ringSize_) * 2);
}

void AudioTimePitchNode::fillTo(std::int64_t end, const RenderTime& time, const RenderInputs& inputs,
                                int outputOffset, double contentPosition, double rate) noexcept
{
    while (written_ < end) {
        const int count = static_cast<int>(std::min<std::int64_t>(end - written_, maximumFrames()));
        // The upstream frame `written_` is heard when the output reaches it at `rate` frames per frame.
        const double graphOffset = outputOffset + (static_cast<double>(written_) - contentPosition) / rate;
        const RenderTime upstream{written_, time.graphFrame + graphOffset * time.graphFramesPerFrame,
                                  time.graphFramesPerFrame / rate};
        AudioBus bus{{scratch_.get(), scratch_.get() + maximumFrames()}, count, false};
        inputs.pull(0, upstream, bus);
        if (!bus.silent) audibleEnd_ = written_ + count;
        for (int channel = 0; channel < 2; ++channel) {
            float* ring = ring_.get() + static_cast<std::size_t>(channel) * static_cast<std::size_t>(ringSize_);
            const std::int64_t first = written_ & ringMask_;
            const std::int64_t part = std::min<std::int64_t>(count, ringSize_ - first);
            if (bus.silent) {
                std::memset(ring + first, 0, sizeof(float) * static_cast<std::size_t>(part));
                std::memset(ring, 0, sizeof(float) * static_cast<std::size_t>(count - part));
            } else {
                std::memcpy(ring + first, bus.channels[channel], sizeof(float) * static_cast<std::size_t>(part));
                std::memcpy(ring, bus.channels[channel] + part, sizeof(float) * static_cast<std::size_t>(count - part));
            }
        }
        written_ += count;
    }
}

void AudioTimePitchNode::enterStretch(double rate) noexcept
{
    // Pretend a grain began one hop ago at the pass-through position: its falling half continues the
    // sound exactly where pass-through left it.
    grainStart_ = nominalStart_ = position_ - hop_;
    stepRemainder_ = 0;
    stretching_ = true;
    advanceGrain(rate);
}

void AudioTimePitchNode::advanceGrain(double rate) noexcept
{
    fadingStart_ = grainStart_;
    stepRemainder_ += rate * hop_;
    const double step = std::floor(stepRemainder_);
    stepRemainder_ -= step;
    // The nominal start advances at the exact rate, whatever alignment moved the grains.
    nominalStart_ += static_cast<std::int64_t>(step);
    grainStart_ = nominalStart_;
    grainOffset_ = 0;
}

void AudioTimePitchNode::alignGrain(const RenderTime& time, const RenderInputs& inputs, int outputOffset, double rate) noexcept
{
    const std::int64_t continuation = fadingStart_ + hop_;
    fillTo(std::max(nominalStart_ + searchRadius_, continuation) + searchLength_, time, inputs, outputOffset,
           static_cast<double>(continuation), rate);
    auto mono = [this](std::int64_t position) { return ringAt(0, position) + ringAt(1, position); };
    double bestScore = 0;
    int bestOffset = 0;
    // Every second frame is enough to tell the best match; nearer offsets win ties.
    for (int distance = 0; distance <= searchRadius_; ++distance) {
        for (int offset : {distance, -distance}) {
            if (distance == 0 && offset < 0) continue;
            const std::int64_t candidate = nominalStart_ + offset;
            double correlation = 0;
            double energy = 0;
            for (int u = 0; u < searchLength_; u += 2) {
                const float sample = mono(candidate + u);
                correlation += static_cast<double>(sample) * mono(continuation + u);
                energy += static_cast<double>(sample) * sample;
            }
            const double score = energy > 1e-12 ? correlation / std::sqrt(energy) : 0.0;
            if (score > bestScore) {
                bestScore = score;
                bestOffset = offset;
            }
        }
    }
    grainStart_ = nominalStart_ + bestOffset;
}

void AudioTimePitchNode::render(const RenderTime& time, const RenderInputs& inputs, AudioBus& out) noexcept
{
    if (!started_) {
        written_ = position_ = audibleEnd_ = time.frame;
        started_ = true;
    }
    const double rate = rate_.get();
    const int frames = out.frames;
    out.silent = false;
    for (int done = 0; done < frames;) {
        if (!stretching_) {
            if (rate != 1.0) {
                enterStretch(rate);
                alignGrain(time, inputs, done, rate);
                continue;
            }
            const int count = frames - done;
            fillTo(position_ + count, time, inputs, done, static_cast<double>(position_), 1.0);
            if (done == 0 && position_ >= audibleEnd_) {
                out.silent = true;
            } else {
                for (int channel = 0; channel < 2; ++channel) {
                    for (int i = 0; i < count; ++i) out.channels[channel][done + i] = ringAt(channel, position_ + i);
                }
            }
            position_ += count;
            done += count;
            continue;
        }
        if (grainOffset_ == hop_) {
            if (rate == 1.0) {
                // Both grains of the next hop would read the same frames: hand over to pass-through.
                stretching_ = false;
                position_ = grainStart_ + hop_;
                continue;
            }
            advanceGrain(rate);
            alignGrain(time, inputs, done, rate);
        }
        const int count = std::min(frames - done, hop_ - grainOffset_);
        const std::int64_t rising = grainStart_ + grainOffset_;
        const std::int64_t falling = fadingStart_ + hop_ + grainOffset_;
        fillTo(std::max(rising, falling) + count, time, inputs, done, static_cast<double>(rising), rate);
        for (int channel = 0; channel < 2; ++channel) {
            float* samples = out.channels[channel] + done;
            for (int i = 0; i < count; ++i) {
                const float weight = fadeIn_[static_cast<std::size_t>(grainOffset_ + i)];
                samples[i] = (1.0f - weight) * ringAt(channel, falling + i) + weight * ringAt(channel, rising + i);
            }
        }
        grainOffset_ += count;
        done += count;
    }
}

} // namespace veltrane
