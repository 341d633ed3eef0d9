#include "VeltraneCore/SampleSlicing/SamplePlaybackPlan.hpp"

#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

constexpr double shortestReleaseSeconds = 0.005;
constexpr double shortestGateSeconds = 0.001;
constexpr double defaultCrossfadeSeconds = 0.008;
constexpr double longestCrossfadeSeconds = 0.25;
constexpr double latestLoopStart = 0.999;
constexpr double shortestLoop = 0.001;

// `value` at least `floor`; a value that is not a number takes the floor.
double atLeast(double value, double floor) { return value >= floor ? value : floor; }

bool isPositiveRate(double rate) { return rate > 0 && std::isfinite(rate); }

} // namespace

std::optional<SamplePlaybackPlan> samplePlaybackPlan(std::int64_t sourceFrameCount, double sourceSampleRate,
                                                     double outputSampleRate, int note,
                                                     const Instrument& instrument, double gateSeconds)
{
    if (sourceFrameCount < 2 || !isPositiveRate(sourceSampleRate) || !isPositiveRate(outputSampleRate) ||
        !std::isfinite(gateSeconds) || !std::isfinite(instrument.tune)) {
        return std::nullopt;
    }
    const SampleEdit edit = instrument.sampleEdit.value_or(SampleEdit{});
    const double frameCount = static_cast<double>(sourceFrameCount);
    const bool sliced = edit.slicePoints && !edit.slicePoints->empty();

    SamplePlaybackPlan plan;
    if (sliced) {
        // Every slice plays at the instrument's own pitch; the note only chooses the slice.
        const auto bounds = sampleSliceBounds(*edit.slicePoints, static_cast<std::int64_t>(note) - 60);
        if (!bounds) return std::nullopt;
        plan.sourceStartFrame = bounds->start * frameCount;
        plan.sourceEndFrame = bounds->end * frameCount;
        plan.effectiveSemitones = instrument.tune;
    } else {
        plan.sourceStartFrame = 0;
        plan.sourceEndFrame = frameCount;
        // In double arithmetic: any int note is exact there, where `note - 60` could overflow.
        plan.effectiveSemitones = instrument.tune + (static_cast<double>(note) - 60);
    }

    const double rate = std::pow(2.0, plan.effectiveSemitones / 12);
    const std::int64_t fullFrames = std::max<std::int64_t>(
        1, roundHalfAwayFromZero(outputSampleRate * (plan.sourceEndFrame - plan.sourceStartFrame) / sourceSampleRate / rate));
    const std::int64_t gateFrames = lengthFramesForSeconds(
        atLeast(instrument.release, shortestReleaseSeconds) + atLeast(gateSeconds, shortestGateSeconds), outputSampleRate);

    plan.shouldLoop = edit.loop && !sliced;

    // Fractions of the edited buffer, like every position of the edit.
    const double loopStart =
        edit.loopStart && *edit.loopStart > 0 ? std::min(*edit.loopStart, latestLoopStart) : 0.0;
    const double loopEnd = edit.loopEnd && !std::isnan(*edit.loopEnd)
                               ? std::min(std::max(*edit.loopEnd, loopStart + shortestLoop), 1.0)
                               : 1.0;
    plan.loopStartFrame = loopStart * frameCount;
    plan.loopEndFrame = loopEnd * frameCount;

    double crossfadeSeconds = defaultCrossfadeSeconds;
    if (edit.loopCrossfade) {
        crossfadeSeconds = *edit.loopCrossfade > 0 ? std::min(*edit.loopCrossfade, longestCrossfadeSeconds) : 0.0;
    }
    plan.crossfadeSourceFrames =
        std::min(crossfadeSeconds * sourceSampleRate, (plan.loopEndFrame - plan.loopStartFrame) / 2);

    // A note stops at the end of its stretch or when its gate and release are over, whichever is first;
    // a looping note sounds for its whole gate and release.
    plan.outputFrames = plan.shouldLoop ? gateFrames : std::min(fullFrames, gateFrames);
    return plan;
}

float loopCrossfadeMix(float tail, float head, double progress)
{
    const float p = progress > 0 ? static_cast<float>(std::min(progress, 1.0)) : 0.0f;
    return head * p + tail * (1 - p);
}

} // namespace veltrane
