#include "VeltranePlayback/Mixdown/OfflineBusAutomation.hpp"

#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include <algorithm>

namespace veltrane {

OfflineBusAutomation::OfflineBusAutomation(const Project& project, const PlaybackTimeline& timeline,
                                           OfflineMixdownGraph& mixdown)
    : project_(project), timeline_(timeline), mixdown_(mixdown), evaluator_(timeline),
      master_(effectiveMasterSettings(project))
{
    if (project.modulation) {
        for (const ModulationSource& source : project.modulation->sources) {
            if (source.kind == ModulationSourceKind::envelope) envelopeSources_.insert(source.id);
        }
    }
    // Notes by track, in timeline order, so the last note of a track before a frame is one binary search
    // away instead of a scan of the whole song before every block.
    for (std::size_t index = 0; index < timeline.notes.size(); ++index) {
        notesByTrack_[timeline.notes[index].track].push_back(index);
    }

    // Lanes and routes are fixed for the whole render, so which parameters move is settled once, in the
    // order the update writes them.
    const auto add = [&](ParameterTarget target, std::optional<int> track, double base) {
        if (refreshed(target, track)) refreshes_.push_back({target, track, base});
    };
    const int trackCount = static_cast<int>(mixdown.strips().size());
    for (int track = 0; track < trackCount; ++track) {
        const MixerTrack settings = effectiveTrackSettings(project, track);
        add(ParameterTarget::trackVolume, track, settings.volume);
        add(ParameterTarget::trackPan, track, settings.pan);
        add(ParameterTarget::trackCutoff, track, settings.cutoff.value_or(neutralCutoff));
        add(ParameterTarget::trackResonance, track, settings.resonance.value_or(neutralResonance));
        add(ParameterTarget::trackDrive, track, settings.drive.value_or(0));
    }
    add(ParameterTarget::masterVolume, std::nullopt, project.masterVolume);
    add(ParameterTarget::masterCutoff, std::nullopt, master_.cutoff);
    add(ParameterTarget::masterResonance, std::nullopt, master_.resonance);
    add(ParameterTarget::masterDrive, std::nullopt, master_.drive);
    add(ParameterTarget::masterBitDepth, std::nullopt, master_.bitDepth.value_or(16));
    add(ParameterTarget::masterDelay, std::nullopt, master_.delayMix);
    add(ParameterTarget::masterDelayTime, std::nullopt, master_.delayTime);
    add(ParameterTarget::masterDelayFeedback, std::nullopt, master_.delayFeedback);
    add(ParameterTarget::masterReverb, std::nullopt, master_.reverbMix);
}

bool OfflineBusAutomation::refreshed(ParameterTarget target, std::optional<int> track) const
{
    return evaluator_.has(target, track) || hasModulation(target, track, project_);
}

bool OfflineBusAutomation::usesEnvelope(ParameterTarget target, std::optional<int> track) const
{
    if (!project_.modulation) return false;
    for (const ModulationRoute& route : project_.modulation->routes) {
        if (route.target != target || route.instrument || !envelopeSources_.contains(route.sourceID)) continue;
        // The master follows only routes for every track; a track also those limited to it.
        if (!route.track || (track && *route.track == *track)) return true;
    }
    return false;
}

OfflineBusAutomation::NoteTiming OfflineBusAutomation::envelopeContext(std::optional<int> track, std::int64_t frame)
{
    if (frame != cachedFrame_) {
        envelopeCache_.clear();
        cachedFrame_ = frame;
    }
    const int key = track.value_or(-1);
    if (const auto cached = envelopeCache_.find(key); cached != envelopeCache_.end()) return cached->second;

    const auto& notes = timeline_.notes;
    const auto startsBy = [&](std::size_t index) { return notes[index].startFrame <= frame; };
    std::optional<std::size_t> found;
    if (!track) {
        // Notes are ordered by start frame: the last one started by `frame` ends the run of those that have.
        const auto end = std::partition_point(notes.begin(), notes.end(),
                                              [&](const TimelineNoteEvent& note) { return note.startFrame <= frame; });
        if (end != notes.begin()) found = static_cast<std::size_t>(end - notes.begin()) - 1;
    } else if (const auto list = notesByTrack_.find(*track); list != notesByTrack_.end()) {
        const auto end = std::partition_point(list->second.begin(), list->second.end(), startsBy);
        if (end != list->second.begin()) found = *(end - 1);
    }
    NoteTiming timing{frame, 1};
    if (found) timing = {notes[*found].startFrame, notes[*found].durationFrames};
    envelopeCache_.emplace(key, timing);
    return timing;
}

double OfflineBusAutomation::value(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track)
{
    const NoteTiming timing = usesEnvelope(target, track) ? envelopeContext(track, frame) : NoteTiming{frame, 1};
    // The lane, then the routes, at the song's own frame: an export plays the song once, so after its end
    // (the release tail) every lane holds its last value rather than starting over as a loop would.
    const double automated = evaluator_.value(target, frame, track, base);
    return modulatedBusValue(target, automated, frame, timing.start, timing.duration, track, project_,
                             timeline_.sampleRate);
}

void OfflineBusAutomation::update(std::int64_t frame)
{
    auto& strips = mixdown_.strips();
    OfflineMasterChain& master = mixdown_.master();
    for (const Refresh& refresh : refreshes_) {
        const auto read = [&] { return value(refresh.target, refresh.base, frame, refresh.track); };
        switch (refresh.target) {
        case ParameterTarget::trackVolume: {
            OfflineTrackStrip& strip = strips[static_cast<std::size_t>(*refresh.track)];
            // A silent strip stays silent whatever its lane says.
            strip.mixer->setOutputVolume(strip.audible ? static_cast<float>(read()) : 0.0f);
            break;
        }
        case ParameterTarget::trackPan:
            strips[static_cast<std::size_t>(*refresh.track)].mixer->setPan(static_cast<float>(read()));
            break;
        case ParameterTarget::trackCutoff:
            strips[static_cast<std::size_t>(*refresh.track)].filter->setFrequency(static_cast<float>(read()));
            break;
        case ParameterTarget::trackResonance:
            strips[static_cast<std::size_t>(*refresh.track)].filter->setBandwidth(static_cast<float>(read()));
            break;
        case ParameterTarget::trackDrive: applyTrackDrive(*strips[static_cast<std::size_t>(*refresh.track)].drive, read()); break;
        case ParameterTarget::masterVolume: mixdown_.graph().mainMixer().setOutputVolume(static_cast<float>(read())); break;
        case ParameterTarget::masterCutoff: master.filter->setFrequency(static_cast<float>(read())); break;
        case ParameterTarget::masterResonance: master.filter->setBandwidth(static_cast<float>(read())); break;
        case ParameterTarget::masterDrive: applyMasterDrive(*master.drive, read()); break;
        case ParameterTarget::masterBitDepth: {
            const double bitDepth = read();
            applyBitCrusherMix(*master.crusher, bitDepth);
            applyBitCrusherDepth(*master.crusher, bitDepth);
            break;
        }
        case ParameterTarget::masterDelay: master.delay->setWetDryMix(static_cast<float>(read() * 100)); break;
        case ParameterTarget::masterDelayTime: master.delay->setDelayTime(read()); break;
        case ParameterTarget::masterDelayFeedback: master.delay->setFeedback(static_cast<float>(read())); break;
        case ParameterTarget::masterReverb: master.reverb->setWetDryMix(static_cast<float>(read() * 100)); break;
        default: break;
        }
    }
}

} // namespace veltrane
