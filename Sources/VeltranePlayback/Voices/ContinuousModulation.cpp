#include "VeltranePlayback/Voices/ContinuousModulation.hpp"

#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/ModulationSignal.hpp"
#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <algorithm>
#include <cmath>

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

double ContinuousModulator::Parameter::at(std::int64_t frame, const ContinuousModulation& context, double bpm) const
{
    double n = base_;
    for (const Route& route : routes_) {
        n += route.amount * modulationSignal(*route.source, frame, context.startFrame, context.durationFrames,
                                             context.sampleRate, bpm);
    }
    return valueAt(n);
}

double ContinuousModulator::Parameter::valueAt(double n) const
{
    if (!isCutoffTarget(target_)) return valueAtNormalized(target_, n);
    const double m = std::isnan(n) ? 0.0 : std::clamp(n, 0.0, 1.0);
    return std::clamp(lowest_ * std::exp2(m * octaves_), lowest_, highest_);
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
    for (int k = 0; k < count; ++k) {
        const std::int64_t frame = context_.startFrame + first + k;
        gains[k] = volume ? volume_.at(frame, context_, bpm_) / startVolume_ : 1.0;
        sides[k] = StereoLanes{1, 1};
        if (pan) {
            const double p =
                std::clamp(context_.startPan + pan_.at(frame, context_, bpm_) - context_.startInstrument.pan, -1.0, 1.0);
            sides[k] = StereoLanes{std::sqrt((1 - p) / 2) / startLeft_, std::sqrt((1 + p) / 2) / startRight_};
        }
    }
    return true;
}

const StereoLowPass* ContinuousModulator::tunings(std::int64_t first, int count)
{
    double cutoffs[maximumTunings];
    double resonances[maximumTunings];
    int made = 0;
    const std::int64_t end = first + count;
    for (std::int64_t n = (first + filterRetuneFrames - 1) / filterRetuneFrames * filterRetuneFrames; n < end;
         n += filterRetuneFrames) {
        const std::int64_t frame = context_.startFrame + n;
        cutoffs[made] = cutoff_.moving() ? cutoff_.at(frame, context_, bpm_) : fixedCutoff_;
        resonances[made] = resonance_.moving() ? resonance_.at(frame, context_, bpm_) : fixedResonance_;
        ++made;
    }
    for (int i = 0; i < made; ++i) tuned_[i].update(context_.sampleRate, cutoffs[i], resonances[i]);
    return tuned_;
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
