#include "VeltranePlayback/Voices/ContinuousModulation.hpp"

#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltraneCore/DSP/StereoLowPass.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

// Gains below this count as this, so a note rendered silent on one side (or at volume 0) can still be
// corrected by a ratio without dividing by zero.
constexpr double smallestGain = 0.0001;

// The filter's coefficients follow the modulation every 16 frames: a third of a millisecond, finer than
// any LFO or envelope can be heard to step, at a sixteenth of the cost.
constexpr std::int64_t filterUpdateInterval = 16;

} // namespace

bool needsContinuousModulation(int track, int instrumentIndex, const Project& project)
{
    for (const auto target : {ParameterTarget::instrumentVolume, ParameterTarget::instrumentPan,
                              ParameterTarget::instrumentCutoff, ParameterTarget::instrumentResonance}) {
        if (hasModulation(target, track, instrumentIndex, project)) return true;
    }
    return false;
}

bool hasContinuousFilterModulation(int track, int instrumentIndex, const Project& project)
{
    return hasModulation(ParameterTarget::instrumentCutoff, track, instrumentIndex, project) ||
           hasModulation(ParameterTarget::instrumentResonance, track, instrumentIndex, project);
}

void applyContinuousModulation(AudioBuffer& buffer, const Project& project, const ContinuousModulation& context)
{
    const int track = context.track;
    const int index = context.instrumentIndex;
    const bool volume = hasModulation(ParameterTarget::instrumentVolume, track, index, project);
    const bool pan = hasModulation(ParameterTarget::instrumentPan, track, index, project);
    const bool filtered = hasContinuousFilterModulation(track, index, project);
    if (!volume && !pan && !filtered) return;

    const Instrument& base = context.baseInstrument;
    const Instrument& start = context.startInstrument;
    const double rate = context.sampleRate;
    auto modulated = [&](ParameterTarget target, double baseValue, std::int64_t frame) {
        return modulatedValue(target, baseValue, frame, context.startFrame, context.durationFrames, track, index,
                              project, rate);
    };

    StereoLowPass filter(rate, noteCutoff(start), noteResonance(start));
    const double startVolume = std::max(start.volume, smallestGain);
    const double startLeft = std::max(std::sqrt((1 - context.startPan) / 2), smallestGain);
    const double startRight = std::max(std::sqrt((1 + context.startPan) / 2), smallestGain);

    float* left = buffer.channel(0);
    float* right = buffer.channel(1);
    const std::int64_t frames = buffer.frameLength();
    for (std::int64_t n = 0; n < frames; ++n) {
        const std::int64_t frame = context.startFrame + n;
        const double k = volume ? modulated(ParameterTarget::instrumentVolume, base.volume, frame) / startVolume : 1.0;
        double leftGain = 1;
        double rightGain = 1;
        if (pan) {
            const double p = std::clamp(context.startPan + modulated(ParameterTarget::instrumentPan, base.pan, frame) -
                                            start.pan,
                                        -1.0, 1.0);
            leftGain = std::sqrt((1 - p) / 2) / startLeft;
            rightGain = std::sqrt((1 + p) / 2) / startRight;
        }
        double l = k * left[n] * leftGain;
        double r = k * right[n] * rightGain;
        if (filtered) {
            if (n % filterUpdateInterval == 0) {
                filter.update(rate, modulated(ParameterTarget::instrumentCutoff, noteCutoff(base), frame),
                              modulated(ParameterTarget::instrumentResonance, noteResonance(base), frame));
            }
            const StereoFrame out = filter.process(l, r);
            l = out.left;
            r = out.right;
        }
        left[n] = static_cast<float>(l);
        right[n] = static_cast<float>(r);
    }
}

} // namespace veltrane
