#include "VeltranePlayback/Mixdown/BusAutomation.hpp"

#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include <algorithm>

namespace veltrane {

BusAutomation::BusAutomation(const Project& project, const PlaybackTimeline& timeline, int stripCount, Options options)
    : options_(options), project_(project), stripCount_(stripCount), totalFrames_(timeline.totalFrames),
      sampleRate_(timeline.sampleRate)
{
    read(timeline);
    plan();
}

BusAutomation::BusAutomation(const Project& project, BusAutomationWindows windows, int stripCount, Options options)
    : options_(options), project_(project), stripCount_(stripCount), totalFrames_(windows.window().totalFrames),
      sampleRate_(windows.window().sampleRate), windows_(std::move(windows))
{
    // Every window holds the points of every lane around it, so which parameters move shows in any one.
    read(windows_->window());
    plan();
}

void BusAutomation::read(const PlaybackTimeline& timeline)
{
    evaluator_ = AutomationEvaluator(timeline);
    notes_.clear();
    notesByTrack_.clear();
    notes_.reserve(timeline.notes.size());
    for (const TimelineNoteEvent& note : timeline.notes) {
        const NoteTiming timing{note.startFrame, note.durationFrames};
        notes_.push_back(timing);
        notesByTrack_[note.track].push_back(timing);
    }
    envelopeCache_.clear();
    cachedFrame_ = -1;
}

bool BusAutomation::isDriven(ParameterTarget target, std::optional<int> track, const Project& project,
                             const PlaybackTimeline& timeline)
{
    return hasAutomation(target, track, std::nullopt, timeline) || hasModulation(target, track, project);
}

bool BusAutomation::drives(ParameterTarget target, std::optional<int> track) const
{
    return evaluator_.has(target, track) || hasModulation(target, track, project_);
}

void BusAutomation::setProject(const Project& project)
{
    project_ = project;
    plan();
}

void BusAutomation::plan()
{
    envelopeSources_.clear();
    if (project_.modulation) {
        for (const ModulationSource& source : project_.modulation->sources) {
            if (source.kind == ModulationSourceKind::envelope) envelopeSources_.insert(source.id);
        }
    }
    envelopeCache_.clear();
    cachedFrame_ = -1;

    // Lanes and routes are fixed while a project plays, so which parameters move is settled once, in
    // the order the update writes them.
    refreshes_.clear();
    const auto add = [&](ParameterTarget target, std::optional<int> track, double base) {
        if (evaluator_.has(target, track) || hasModulation(target, track, project_)) {
            refreshes_.push_back({target, track, base});
        }
    };
    const int mixerCount = static_cast<int>(project_.mixer.size());
    const int strips = options_.stripsWithoutMixerEntryFollow ? stripCount_ : std::min(stripCount_, mixerCount);
    for (int track = 0; track < strips; ++track) {
        const MixerTrack settings = track < mixerCount ? project_.mixer[static_cast<std::size_t>(track)] : MixerTrack{};
        add(ParameterTarget::trackVolume, track, settings.volume);
        add(ParameterTarget::trackPan, track, settings.pan);
        add(ParameterTarget::trackCutoff, track, settings.cutoff.value_or(neutralCutoff));
        add(ParameterTarget::trackResonance, track, settings.resonance.value_or(neutralResonance));
        add(ParameterTarget::trackDrive, track, settings.drive.value_or(0));
    }
    const MasterFX master = project_.masterFX.value_or(MasterFX{});
    const std::optional<int> none;
    add(ParameterTarget::masterVolume, none, project_.masterVolume);
    add(ParameterTarget::masterCutoff, none, master.cutoff);
    add(ParameterTarget::masterResonance, none, master.resonance);
    add(ParameterTarget::masterDrive, none, master.drive);
    add(ParameterTarget::masterBitDepth, none, master.bitDepth.value_or(16));
    add(ParameterTarget::masterDelay, none, master.delayMix);
    add(ParameterTarget::masterDelayTime, none, master.delayTime);
    add(ParameterTarget::masterDelayFeedback, none, master.delayFeedback);
    add(ParameterTarget::masterReverb, none, master.reverbMix);
}

std::int64_t BusAutomation::timelineFrame(std::int64_t frame) const noexcept
{
    if (!options_.wrapsAtLoopCycle) return frame;
    return totalFrames_ >= 1 ? frame % totalFrames_ : 0;
}

bool BusAutomation::usesEnvelope(ParameterTarget target, std::optional<int> track) const
{
    if (!project_.modulation || envelopeSources_.empty()) return false;
    for (const ModulationRoute& route : project_.modulation->routes) {
        if (route.target != target || route.instrument || !envelopeSources_.contains(route.sourceID)) continue;
        // The master follows only routes for every track; a track also those limited to it.
        if (!route.track || (track && *route.track == *track)) return true;
    }
    return false;
}

BusAutomation::NoteTiming BusAutomation::envelopeContext(std::optional<int> track, std::int64_t frame)
{
    if (frame != cachedFrame_) {
        envelopeCache_.clear();
        cachedFrame_ = frame;
    }
    const int key = track.value_or(-1);
    if (const auto cached = envelopeCache_.find(key); cached != envelopeCache_.end()) return cached->second;

    // Notes are ordered by start frame: the last one started by `frame` ends the run of those that have.
    const auto lastStarted = [frame](const std::vector<NoteTiming>& notes) -> std::optional<NoteTiming> {
        const auto end = std::partition_point(notes.begin(), notes.end(),
                                              [frame](const NoteTiming& note) { return note.start <= frame; });
        if (end == notes.begin()) return std::nullopt;
        return *(end - 1);
    };
    std::optional<NoteTiming> found;
    if (!track) {
        found = lastStarted(notes_);
    } else if (const auto list = notesByTrack_.find(*track); list != notesByTrack_.end()) {
        found = lastStarted(list->second);
    }
    const NoteTiming timing = found.value_or(NoteTiming{frame, 1});
    envelopeCache_.emplace(key, timing);
    return timing;
}

double BusAutomation::value(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track)
{
    const std::int64_t at = timelineFrame(frame);
    if (windows_ && windows_->moveTo(at)) read(windows_->window());
    const NoteTiming timing = usesEnvelope(target, track) ? envelopeContext(track, at) : NoteTiming{at, 1};
    // The lane, then the routes.
    const double automated = evaluator_.value(target, at, track, base);
    return modulatedBusValue(target, automated, at, timing.start, timing.duration, track, project_, sampleRate_);
}

void BusAutomation::update(MixdownGraph& mixdown, std::int64_t frame)
{
    for (const Refresh& refresh : refreshes_) {
        if (refresh.track && *refresh.track >= mixdown.stripCount()) continue;
        write(mixdown, refresh, value(refresh.target, refresh.base, frame, refresh.track));
    }
}

void BusAutomation::evaluate(std::int64_t frame, int stripCount, std::vector<double>& values)
{
    values.resize(refreshes_.size());
    for (std::size_t index = 0; index < refreshes_.size(); ++index) {
        const Refresh& refresh = refreshes_[index];
        values[index] = refresh.track && *refresh.track >= stripCount
                            ? 0.0
                            : value(refresh.target, refresh.base, frame, refresh.track);
    }
}

void BusAutomation::write(MixdownGraph& mixdown, const Refresh& refresh, double value)
{
    auto& strips = mixdown.strips();
    MixdownMaster& master = mixdown.master();
    if (refresh.track && (*refresh.track < 0 || *refresh.track >= static_cast<int>(strips.size()))) return;
    const auto strip = [&]() -> MixdownStrip& { return strips[static_cast<std::size_t>(*refresh.track)]; };
    switch (refresh.target) {
    case ParameterTarget::trackVolume:
        // A silent strip stays silent whatever its lane says.
        strip().mixer->setOutputVolume(strip().audible ? static_cast<float>(value) : 0.0f);
        break;
    case ParameterTarget::trackPan: strip().mixer->setPan(static_cast<float>(value)); break;
    case ParameterTarget::trackCutoff: strip().filter->setFrequency(static_cast<float>(value)); break;
    case ParameterTarget::trackResonance: strip().filter->setBandwidth(static_cast<float>(value)); break;
    case ParameterTarget::trackDrive: mixdown.setStripDrive(strip(), value); break;
    case ParameterTarget::masterVolume: mixdown.graph().mainMixer().setOutputVolume(static_cast<float>(value)); break;
    case ParameterTarget::masterCutoff: master.filter->setFrequency(static_cast<float>(value)); break;
    // Unlike the static setting, the moving resonance goes to the filter as it is.
    case ParameterTarget::masterResonance: master.filter->setBandwidth(static_cast<float>(value)); break;
    case ParameterTarget::masterDrive: mixdown.setMasterDrive(value); break;
    case ParameterTarget::masterBitDepth: mixdown.setMasterBitDepth(value); break;
    case ParameterTarget::masterDelay: master.delay->setWetDryMix(static_cast<float>(value * 100)); break;
    case ParameterTarget::masterDelayTime: master.delay->setDelayTime(value); break;
    case ParameterTarget::masterDelayFeedback: master.delay->setFeedback(static_cast<float>(value)); break;
    case ParameterTarget::masterReverb: master.reverb->setWetDryMix(static_cast<float>(value * 100)); break;
    default: break;
    }
}

} // namespace veltrane
