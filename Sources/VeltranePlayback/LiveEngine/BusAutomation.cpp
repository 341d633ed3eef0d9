// Track and master parameters that follow automation lanes and modulation routes while a song plays. They
// live in node parameters, so the transport's position loop moves them on every tick; lanes and routes
// restart with every loop cycle. Only parameters with a lane or route are evaluated and written.

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace veltrane {

namespace {

using Target = ParameterTarget;

// The note an envelope on a bus follows: the latest one of the track (of any track for the master) that
// has started by the frame; found once per track and tick.
class EnvelopeContexts {
public:
    EnvelopeContexts(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame)
        : project_(project), timeline_(timeline), frame_(frame)
    {
        if (project.modulation) {
            for (const auto& source : project.modulation->sources) {
                if (source.kind == ModulationSourceKind::envelope) envelopes_.push_back(source.id);
            }
        }
    }

    /// (note start, note length) for an envelope route to `target` on `track`, else (frame, 1).
    std::pair<std::int64_t, std::int64_t> context(Target target, std::optional<int> track)
    {
        if (!usesEnvelope(target, track)) return {frame_, 1};
        const int key = track.value_or(-1);
        if (const auto found = cache_.find(key); found != cache_.end()) return found->second;
        std::pair<std::int64_t, std::int64_t> result{frame_, 1};
        const auto& notes = timeline_.notes;
        // Notes are listed by start frame: search back from the first one that starts after the frame.
        auto after = std::upper_bound(notes.begin(), notes.end(), frame_,
                                      [](std::int64_t frame, const TimelineNoteEvent& note) { return frame < note.startFrame; });
        while (after != notes.begin()) {
            --after;
            if (track && after->track != *track) continue;
            result = {after->startFrame, after->durationFrames};
            break;
        }
        cache_.emplace(key, result);
        return result;
    }

private:
    bool usesEnvelope(Target target, std::optional<int> track) const
    {
        if (envelopes_.empty()) return false;
        return std::any_of(project_.modulation->routes.begin(), project_.modulation->routes.end(), [&](const ModulationRoute& route) {
            if (route.target != target || route.instrument) return false;
            if (std::find(envelopes_.begin(), envelopes_.end(), route.sourceID) == envelopes_.end()) return false;
            return !route.track || (track && *route.track == *track);
        });
    }

    const Project& project_;
    const PlaybackTimeline& timeline_;
    std::int64_t frame_;
    std::vector<Uuid> envelopes_;
    std::unordered_map<int, std::pair<std::int64_t, std::int64_t>> cache_;
};

} // namespace

void AudioEngine::neutralizeAutomatedBuses(const PlaybackTimeline& timeline, const Project& project)
{
    // While a lane or route moves a parameter, the node starts from a neutral setting so nothing of the
    // static value shows before the first update.
    const auto automated = [&](Target target, std::optional<int> track) {
        return hasAutomation(target, track, std::nullopt, timeline) || hasModulation(target, track, project);
    };
    for (int i = 0; i < trackCount; ++i) {
        Track& strip = tracks_[static_cast<std::size_t>(i)];
        if (automated(Target::trackVolume, i)) strip.mixer->setOutputVolume(1.0f);
        if (automated(Target::trackPan, i)) strip.mixer->setPan(0.0f);
        if (automated(Target::trackCutoff, i) || automated(Target::trackResonance, i)) {
            strip.filter->setFrequency(static_cast<float>(neutralCutoff));
            strip.filter->setBandwidth(static_cast<float>(neutralResonance));
        }
        if (automated(Target::trackDrive, i)) strip.drive->setWetDryMix(0.0f);
    }
    if (automated(Target::masterVolume, std::nullopt)) graph_.mainMixer().setOutputVolume(1.0f);
    if (automated(Target::masterCutoff, std::nullopt) || automated(Target::masterResonance, std::nullopt)) {
        filter_->setFrequency(static_cast<float>(neutralCutoff));
        filter_->setBandwidth(static_cast<float>(neutralResonance));
    }
    if (automated(Target::masterDrive, std::nullopt)) drive_->setWetDryMix(0.0f);
    if (automated(Target::masterBitDepth, std::nullopt)) crusher_->setWetDryMix(0.0f);
    if (automated(Target::masterDelay, std::nullopt)) delay_->setWetDryMix(0.0f);
    if (automated(Target::masterReverb, std::nullopt)) reverb_->setWetDryMix(0.0f);
}

void AudioEngine::updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame)
{
    const std::int64_t local = timeline.totalFrames >= 1 ? frame % timeline.totalFrames : 0;
    std::optional<AutomationEvaluator> built;
    if (!activeAutomationEvaluator_) built.emplace(timeline);
    const AutomationEvaluator& lanes = activeAutomationEvaluator_ ? *activeAutomationEvaluator_ : *built;
    EnvelopeContexts envelopes(project, timeline, local);

    const auto moves = [&](Target target, std::optional<int> track) {
        return lanes.has(target, track) || hasModulation(target, track, project);
    };
    const auto value = [&](Target target, double base, std::optional<int> track) {
        const auto [start, length] = envelopes.context(target, track);
        return busParameterValue(target, base, local, track, project, timeline, &lanes, start, length);
    };

    const bool solo = anySolo(project);
    const int strips = std::min(trackCount, static_cast<int>(project.mixer.size()));
    for (int i = 0; i < strips; ++i) {
        const MixerTrack& settings = project.mixer[static_cast<std::size_t>(i)];
        Track& strip = tracks_[static_cast<std::size_t>(i)];
        if (moves(Target::trackVolume, i)) {
            // A muted strip, or one silenced by another's solo, stays silent whatever its lane says.
            const bool silenced = settings.muted || (solo && !settings.solo);
            strip.mixer->setOutputVolume(silenced ? 0.0f : static_cast<float>(value(Target::trackVolume, settings.volume, i)));
        }
        if (moves(Target::trackPan, i)) strip.mixer->setPan(static_cast<float>(value(Target::trackPan, settings.pan, i)));
        if (moves(Target::trackCutoff, i)) {
            strip.filter->setFrequency(static_cast<float>(value(Target::trackCutoff, settings.cutoff.value_or(neutralCutoff), i)));
        }
        if (moves(Target::trackResonance, i)) {
            strip.filter->setBandwidth(static_cast<float>(value(Target::trackResonance, settings.resonance.value_or(neutralResonance), i)));
        }
        if (moves(Target::trackDrive, i)) {
            const double drive = value(Target::trackDrive, settings.drive.value_or(0), i);
            strip.drive->setPreGain(stripDrivePreGain(drive));
            strip.drive->setWetDryMix(stripDriveWetDryMix(drive));
        }
    }

    const MasterFX master = project.masterFX.value_or(MasterFX{});
    const std::optional<int> none;
    if (moves(Target::masterVolume, none)) {
        graph_.mainMixer().setOutputVolume(static_cast<float>(value(Target::masterVolume, project.masterVolume, none)));
    }
    if (moves(Target::masterCutoff, none)) filter_->setFrequency(static_cast<float>(value(Target::masterCutoff, master.cutoff, none)));
    if (moves(Target::masterResonance, none)) {
        filter_->setBandwidth(static_cast<float>(value(Target::masterResonance, master.resonance, none)));
    }
    if (moves(Target::masterDrive, none)) {
        const double drive = value(Target::masterDrive, master.drive, none);
        drive_->setPreGain(masterDrivePreGain(drive));
        drive_->setWetDryMix(masterDriveWetDryMix(drive));
    }
    if (moves(Target::masterBitDepth, none)) {
        const CrusherSettings crusher = crusherSettings(value(Target::masterBitDepth, master.bitDepth.value_or(16), none));
        crusher_->setWetDryMix(crusher.wetDryMix);
        crusher_->setRounding(crusher.rounding);
        crusher_->setDecimationMix(crusher.decimationMix);
    }
    if (moves(Target::masterDelay, none)) delay_->setWetDryMix(static_cast<float>(value(Target::masterDelay, master.delayMix, none) * 100));
    if (moves(Target::masterDelayTime, none)) delay_->setDelayTime(value(Target::masterDelayTime, master.delayTime, none));
    if (moves(Target::masterDelayFeedback, none)) {
        delay_->setFeedback(static_cast<float>(value(Target::masterDelayFeedback, master.delayFeedback, none)));
    }
    if (moves(Target::masterReverb, none)) reverb_->setWetDryMix(static_cast<float>(value(Target::masterReverb, master.reverbMix, none) * 100));
}

} // namespace veltrane
