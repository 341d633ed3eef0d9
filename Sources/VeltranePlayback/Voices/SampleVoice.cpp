#include "VeltranePlayback/Voices/SampleVoice.hpp"

#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/VoiceStages.hpp"
#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/SampleSlicing/SamplePlaybackPlan.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace veltrane {

namespace {

constexpr double shortestGlideSeconds = 0.001;

// Reads one source channel at a fractional position with linear interpolation in single precision, as
// the sample's own arithmetic is single precision.
class ChannelReader {
public:
    ChannelReader(const float* samples, std::int64_t frames, std::int64_t wrapTo)
        : samples_(samples), frames_(frames), wrapTo_(wrapTo)
    {
    }

    float at(std::int64_t j, float u) const
    {
        j = std::clamp<std::int64_t>(j, 0, frames_ - 1);
        // Interpolating at the last frame needs the frame after it. A loop that ends at the sample's end
        // continues at its start; otherwise the last frame holds. Either way no read leaves the buffer.
        const std::int64_t next = j + 1 < frames_ ? j + 1 : wrapTo_;
        return (1 - u) * samples_[j] + u * samples_[next];
    }

private:
    const float* samples_;
    std::int64_t frames_;
    std::int64_t wrapTo_;
};

double oscillation(const std::optional<EffectOscillation>& wobble, double time)
{
    return wobble ? wobble->depth * std::sin(2 * std::numbers::pi * wobble->rate * time) : 0.0;
}

} // namespace

std::shared_ptr<AudioBuffer> renderSampleNote(const SampleBuffer& source, const SampleNote& note,
                                              const Instrument& instrument, double sampleRate)
{
    if (source.channels.empty()) return nullptr;
    const auto& leftChannel = source.channels.front();
    const auto& rightChannel = source.channels[std::min<std::size_t>(source.channels.size(), 2) - 1];
    // Every channel should be as long as the first; reading only as far as the shorter keeps a malformed
    // buffer from being read past its end.
    const auto frameCount = static_cast<std::int64_t>(std::min(leftChannel.size(), rightChannel.size()));

    const auto plan = samplePlaybackPlan(frameCount, source.sampleRate, sampleRate, note.note, instrument, note.gateSeconds);
    if (!plan) return nullptr;

    const std::int64_t capacity = std::max<std::int64_t>(plan->outputFrames, 1);
    auto buffer = std::make_shared<AudioBuffer>(capacity, sampleRate);
    float* outLeft = buffer->channel(0);
    float* outRight = buffer->channel(1);

    const bool loop = plan->shouldLoop;
    const double loopStart = plan->loopStartFrame;
    const double loopEnd = plan->loopEndFrame;
    const double loopLength = std::max(loopEnd - loopStart, 1.0);
    const double crossfadeStart = loopEnd - plan->crossfadeSourceFrames;
    const bool crossfade = loop && plan->crossfadeSourceFrames > 0;
    const auto wrapTo = loop ? static_cast<std::int64_t>(loopStart) : frameCount - 1;
    const ChannelReader readLeft(leftChannel.data(), frameCount, wrapTo);
    const ChannelReader readRight(rightChannel.data(), frameCount, wrapTo);

    const PanGains pan = PanGains::forPan(note.pan);
    const double leftGain = note.gain * pan.left;
    const double rightGain = note.gain * pan.right;
    const double glideSeconds = std::max(note.gateSeconds, shortestGlideSeconds);
    const double sourceStep = source.sampleRate / sampleRate;
    const DriveStage drive(note.driveAmount);
    const BitReductionStage bits(note.bitDepth);
    StereoLowPass filter(sampleRate, noteCutoff(instrument), noteResonance(instrument));

    double position = plan->sourceStartFrame;
    for (std::int64_t i = 0; i < capacity; ++i) {
        // A position that is no longer a number (a broken tune or vibrato) ends the note like the end of
        // its stretch would, rather than reading at an undefined index.
        if (!std::isfinite(position)) {
            buffer->setFrameLength(i);
            return buffer;
        }
        if (position >= plan->sourceEndFrame - 1) {
            if (!loop) {
                buffer->setFrameLength(i);
                return buffer;
            }
            position = loopStart + std::fmod(position - loopStart, loopLength);
        } else if (loop && position >= loopEnd - 1) {
            position = loopStart + std::fmod(position - loopStart, loopLength);
        }

        const double t = static_cast<double>(i) / sampleRate;
        const double progress = std::min(t / glideSeconds, 1.0);
        const double semitones =
            plan->effectiveSemitones + note.glideSemitones * (1 - progress) + oscillation(note.vibrato, t) / 100;
        const double rate = semitones == 0 ? 1.0 : std::exp2(semitones / 12); // 2^0 is exactly 1

        const auto j = static_cast<std::int64_t>(position);
        const auto u = static_cast<float>(position - static_cast<double>(j));
        float left = readLeft.at(j, u);
        float right = readRight.at(j, u);

        if (crossfade && position >= crossfadeStart) {
            // The seam fades from the loop's end into its beginning: the head is read as far past the
            // loop start as the position is past the crossfade's start.
            const double head = loopStart + (position - crossfadeStart);
            const auto k = std::min(static_cast<std::int64_t>(head), frameCount - 2);
            const auto hu = static_cast<float>(head - static_cast<double>(k));
            const double progressAcross = (position - crossfadeStart) / plan->crossfadeSourceFrames;
            left = loopCrossfadeMix(left, readLeft.at(k, hu), progressAcross);
            right = loopCrossfadeMix(right, readRight.at(k, hu), progressAcross);
        }

        const double tremolo =
            note.tremolo ? 1 - note.tremolo->depth * (std::sin(2 * std::numbers::pi * note.tremolo->rate * t) + 1) / 2
                         : 1.0;
        const double level = envelopeLevel(t, note.gateSeconds, instrument) * tremolo;
        const double l = bits(drive(level * leftGain * left));
        const double r = bits(drive(level * rightGain * right));
        const StereoFrame filtered = filter.process(l, r);
        outLeft[i] = static_cast<float>(filtered.left);
        outRight[i] = static_cast<float>(filtered.right);

        position += rate * sourceStep;
    }
    return buffer;
}

} // namespace veltrane
