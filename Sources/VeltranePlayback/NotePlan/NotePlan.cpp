#include "VeltranePlayback/NotePlan/NotePlan.hpp"

#include "VeltranePlayback/NotePlan/NoteChance.hpp"
#include "VeltranePlayback/NotePlan/NoteStrikes.hpp"

#include <algorithm>

namespace veltrane {

NotePlanner::NotePlanner(const Project& project, NotePlanOptions options)
    : project_(project), options_(options), lastPrepared_(project.instruments.size())
{
}

void NotePlanner::restart()
{
    slideMemory_.clear();
}

void NotePlanner::plan(const PlaybackTimeline& timeline, const Take& take)
{
    const int instrumentCount = static_cast<int>(project_.instruments.size());
    for (const TimelineNoteEvent& event : timeline.notes) {
        // The timeline names only instruments that exist; a note that does not is passed over.
        if (event.instrument < 0 || event.instrument >= instrumentCount || event.track < 0) continue;
        if (options_.trackCount && event.track >= *options_.trackCount) continue;
        if (!noteSurvivesChance(event.startFrame, event.track, event.effects.chance)) continue;

        const auto track = static_cast<std::size_t>(event.track);
        if (track >= slideMemory_.size()) slideMemory_.resize(track + 1);
        auto& slideFrom = slideMemory_[track];

        PreparedInstrument prepared =
            prepareNoteInstrument(project_.instruments[static_cast<std::size_t>(event.instrument)], event.instrument,
                                  event.track, event.locks, event.startFrame, event.durationFrames, project_,
                                  timeline, timeline.sampleRate);
        auto& last = lastPrepared_[static_cast<std::size_t>(event.instrument)];
        if (!last || last->base != prepared.base || last->start != prepared.start) {
            last = std::make_shared<const PreparedInstrument>(std::move(prepared));
        }

        PlannedNote strike{
            .track = event.track,
            .instrumentIndex = event.instrument,
            .volume = event.volume,
            .pan = std::clamp(event.effects.pan.value_or(last->start.pan), -1.0, 1.0),
            .slideFromNote = event.effects.slide ? slideFrom : std::nullopt,
            .instrument = last,
        };
        for (const NoteStrike& placed : noteStrikes(event, noteRowFrames(timeline, event))) {
            strike.frame = placed.frame;
            strike.gateFrames = placed.lengthFrames;
            strike.note = placed.note;
            take(event, strike);
        }
        slideFrom = event.note;
    }
}

} // namespace veltrane
