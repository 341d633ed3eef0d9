#include "VeltranePlayback/Voices/ContinuousModulation.hpp"

#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/ModulationSignal.hpp"
#include "VeltraneCore/DSP/PowerOfTwo.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"
#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace veltrane {

namespace {

// Gains below this count as this, so a note rendered silent on one side (or at volume 0) can still be
// corrected by a ratio without dividing by zero.
constexpr double smallestGain = 0.0001;


bool routeActsOnNote(const ModulationRoute& route, ParameterTarget target, int track, int instrument)
{
    return route.target == target && (!route.track || *route.track == track) &&
           (!route.instrument || *route.instrument == instrument);
}

// An amount that is not a number moves nothing.
double routeAmount(const ModulationRoute& route)
{
    return std::isnan(route.amount) ? 0.0 : std::clamp(route.amount, -1.0, 1.0);
}

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

ContinuousModulator::Parameter::Parameter(ParameterTarget target, double base, const Project& project,
                                          const ContinuousModulation& context)
    : target_(target), base_(normalized(target, base))
{
    const ParameterRange bounds = range(target);
    lowest_ = bounds.lowerBound;
    highest_ = bounds.upperBound;
    if (isCutoffTarget(target)) {
        lowest_ = valueAtNormalized(target, 0);
        highest_ = valueAtNormalized(target, 1);
        octaves_ = std::log2(highest_ / lowest_);
    }
    if (!project.modulation) return;
    for (const ModulationRoute& route : project.modulation->routes) {
        if (!routeActsOnNote(route, target, context.track, context.instrumentIndex)) continue;
        moving_ = true;
        // A route whose source is gone contributes nothing, but still makes the parameter a moving one.
        if (const ModulationSource* source = project.modulation->source(route.sourceID)) {
            routes_.push_back({source, routeAmount(route)});
        }
    }
}

void ContinuousModulator::Parameter::values(std::int64_t frame, std::int64_t stride, int count,
                                            const ContinuousModulation& context, double bpm, double* out) const
{
    // Room for a last group of four lanes past `count`, which `valuesAt` may fill.
    double n[maximumRunFrames + 4];
    std::fill_n(n, (count + 3) / 4 * 4, base_);
    double signals[maximumRunFrames];
    for (const Route& route : routes_) {
        modulationSignals(*route.source, frame, stride, count, context.startFrame, context.durationFrames,
                          context.sampleRate, bpm, signals);
        for (int k = 0; k < count; ++k) n[k] += route.amount * signals[k];
    }
    valuesAt(n, count);
    std::copy_n(n, count, out);
}

double ContinuousModulator::Parameter::at(std::int64_t frame, const ContinuousModulation& context, double bpm) const
{
    double value = 0;
    values(frame, 1, 1, context, bpm, &value);
    return value;
}

namespace {

// A normalised value held to 0 ... 1, one that is not a number counting as 0: `std::clamp` as
// selections, which give the same for every number.
double heldNormalized(double m) { return m != m ? 0.0 : m < 0 ? 0.0 : 1 < m ? 1.0 : m; }

// Cutoffs on a logarithmic curve from `lowest` over `octaves`, of `count` 0-to-1 forms in place, as many
// to a vector as `V` holds; `n` has room for a last group of `V`.
template <Lanes V>
void cutoffsAt(double* n, int count, double lowest, double highest, double octaves)
{
    const V zero{};
    for (int k = 0; k < count; k += static_cast<int>(sizeof(V) / sizeof(double))) {
        V m;
        std::memcpy(&m, n + k, sizeof m);
        // The form held to 0 ... 1 (one that is not a number counting as 0), then the value held to the
        // range: `std::clamp` as selections, which give the same for every number.
        m = m != m ? zero : m < 0 ? zero : 1 < m ? zero + 1 : m;
        const V value = lowest * exp2Of(m * octaves);
        const V held = value < lowest ? zero + lowest : highest < value ? zero + highest : value;
        std::memcpy(n + k, &held, sizeof held);
    }
}

#ifdef VELTRANE_WIDE_INSTRUCTIONS
VELTRANE_WIDE void cutoffsAtWide(double* n, int count, double lowest, double highest, double octaves)
{
    cutoffsAt<QuadLanes>(n, count, lowest, highest, octaves);
}
#endif

} // namespace

void ContinuousModulator::Parameter::valuesAt(double* n, int count) const
{
    if (!isCutoffTarget(target_)) {
        for (int k = 0; k < count; ++k) {
            const double value = lowest_ + heldNormalized(n[k]) * (highest_ - lowest_);
            n[k] = std::clamp(value, lowest_, highest_);
        }
        return;
    }
#ifdef VELTRANE_WIDE_INSTRUCTIONS
    if (processorRunsWide()) return cutoffsAtWide(n, count, lowest_, highest_, octaves_);
#endif
    cutoffsAt<DoubleLanes>(n, count, lowest_, highest_, octaves_);
}

ContinuousModulator::ContinuousModulator(const Project& project, const ContinuousModulation& context)
    : context_(context), bpm_(project.bpm),
      volume_(ParameterTarget::instrumentVolume, context.baseInstrument.volume, project, context),
      pan_(ParameterTarget::instrumentPan, context.baseInstrument.pan, project, context),
      cutoff_(ParameterTarget::instrumentCutoff, noteCutoff(context.baseInstrument), project, context),
      resonance_(ParameterTarget::instrumentResonance, noteResonance(context.baseInstrument), project, context),
      filtered_(cutoff_.moving() || resonance_.moving()),
      filter_(context.sampleRate, noteCutoff(context.startInstrument), noteResonance(context.startInstrument)),
      run_(filter_)
{
    startVolume_ = std::max(context.startInstrument.volume, smallestGain);
    startLeft_ = std::max(std::sqrt((1 - context.startPan) / 2), smallestGain);
    startRight_ = std::max(std::sqrt((1 + context.startPan) / 2), smallestGain);
    // Without a route, a parameter keeps its value for the whole note: work it out once.
    if (!resonance_.moving()) fixedResonance_ = resonance_.at(context.startFrame, context, bpm_);
    if (!cutoff_.moving()) fixedCutoff_ = cutoff_.at(context.startFrame, context, bpm_);
}

bool ContinuousModulator::scales(std::int64_t first, int count, double* gains, StereoLanes* sides) const
{
    const bool volume = volume_.moving();
    const bool pan = pan_.moving();
    if (!volume && !pan) return false;
    const std::int64_t frame = context_.startFrame + first;
    if (volume) {
        volume_.values(frame, 1, count, context_, bpm_, gains);
        for (int k = 0; k < count; ++k) gains[k] /= startVolume_;
    } else {
        for (int k = 0; k < count; ++k) gains[k] = 1.0;
    }
    if (pan) {
        double pans[maximumRunFrames];
        pan_.values(frame, 1, count, context_, bpm_, pans);
        for (int k = 0; k < count; ++k) {
            const double p = std::clamp(context_.startPan + pans[k] - context_.startInstrument.pan, -1.0, 1.0);
            sides[k] = StereoLanes{std::sqrt((1 - p) / 2) / startLeft_, std::sqrt((1 + p) / 2) / startRight_};
        }
    } else {
        for (int k = 0; k < count; ++k) sides[k] = StereoLanes{1, 1};
    }
    return true;
}

const StereoLowPass* ContinuousModulator::tunings(std::int64_t first, int count)
{
    // The multiples of the retuning step from `first` on, below `first + count`.
    const std::int64_t firstTuning = (first + filterRetuneFrames - 1) / filterRetuneFrames * filterRetuneFrames;
    const std::int64_t end = first + count;
    if (firstTuning >= end) return tuned_;
    const std::int64_t lastTuning = firstTuning + (end - 1 - firstTuning) / filterRetuneFrames * filterRetuneFrames;
    const std::int64_t windowEnd = windowFirst_ + windowTunings * filterRetuneFrames;
    if (windowFirst_ < 0 || firstTuning < windowFirst_ || lastTuning >= windowEnd) {
        // A window of tunings ahead, worked out together: one by one, each would wait on the last
        // division of its own chain.
        windowFirst_ = firstTuning;
        double cutoffs[windowTunings];
        double resonances[windowTunings];
        const std::int64_t frame = context_.startFrame + firstTuning;
        if (cutoff_.moving()) {
            cutoff_.values(frame, filterRetuneFrames, windowTunings, context_, bpm_, cutoffs);
        } else {
            std::fill_n(cutoffs, windowTunings, fixedCutoff_);
        }
        if (resonance_.moving()) {
            resonance_.values(frame, filterRetuneFrames, windowTunings, context_, bpm_, resonances);
        } else {
            std::fill_n(resonances, windowTunings, fixedResonance_);
        }
        StereoLowPass::tune(context_.sampleRate, cutoffs, resonances, windowTunings, tuned_);
    }
    return tuned_ + (firstTuning - windowFirst_) / filterRetuneFrames;
}

void ContinuousModulator::process(std::int64_t first, StereoLanes* frames, int count)
{
    double gains[maximumRunFrames];
    StereoLanes sides[maximumRunFrames];
    for (int done = 0; done < count; done += maximumRunFrames) {
        const int run = std::min(count - done, maximumRunFrames);
        if (!scales(first + done, run, gains, sides)) break;
        for (int k = 0; k < run; ++k) frames[done + k] = gains[k] * frames[done + k] * sides[k];
    }
    if (!filtered_) return;
    // A copy of its own keeps the filter in registers through the loop, which runs from one retuning to
    // the next without a check per frame.
    StereoLowPassRun run = run_;
    for (int done = 0; done < count; done += maximumRunFrames) {
        const int length = std::min(count - done, maximumRunFrames);
        const StereoLowPass* tuned = tunings(first + done, length);
        int next = 0;
        for (int k = done; k < done + length;) {
            const std::int64_t n = first + k;
            if (n % filterRetuneFrames == 0) run.retune(tuned[next++]);
            const int until =
                static_cast<int>(std::min<std::int64_t>(done + length, k + filterRetuneFrames - n % filterRetuneFrames));
            for (; k < until; ++k) frames[k] = run.process(frames[k]);
        }
    }
    run_ = run;
}

void applyContinuousModulation(AudioBuffer& buffer, const Project& project, const ContinuousModulation& context)
{
    ContinuousModulator modulator(project, context);
    if (!modulator.active()) return;
    DenormalGuard denormals; // the modulator's filter relies on the processor to flush its tail
    float* left = buffer.channel(0);
    float* right = buffer.channel(1);
    const std::int64_t frames = buffer.frameLength();
    constexpr int chunk = 64;
    StereoLanes lanes[chunk];
    for (std::int64_t first = 0; first < frames; first += chunk) {
        const int count = static_cast<int>(std::min<std::int64_t>(chunk, frames - first));
        for (int k = 0; k < count; ++k) lanes[k] = StereoLanes{left[first + k], right[first + k]};
        modulator.process(first, lanes, count);
        for (int k = 0; k < count; ++k) {
            left[first + k] = static_cast<float>(lanes[k][0]);
            right[first + k] = static_cast<float>(lanes[k][1]);
        }
    }
}

} // namespace veltrane
