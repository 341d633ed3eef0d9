#pragma once

// The one note plan: a timeline's note events become frame-stamped strikes, each with everything its
// start decides, in one fixed order for live playback and the export alike:
//
//   1. the chance column (`noteSurvivesChance`), rolled on the note's start frame and track;
//   2. the instrument: the note's locks, then its automation lanes at the note's start, then its
//      modulation routes at the note's start (`prepareNoteInstrument`);
//   3. the pan column, else the prepared instrument's pan, held to -1 ... 1;
//   4. the slide origin: the last pitch kept on the track, for a note that slides;
//   5. the strikes of the retrigger, delay, arpeggio and chord columns (`noteStrikes`).
//
// The live engine turns the strikes into rendered sounds and MIDI for hosted instruments; the export into
// its note list. Where the two differ by design the difference is an option of `NotePlanOptions`.
//
//     NotePlanner planner(project, {.trackCount = 32});
//     planner.plan(timeline, [&](const TimelineNoteEvent& event, const PlannedNote& strike) { ... });
//
// A planner may be given a long song window by window, in order: the slide memory runs on from one
// window to the next, exactly as over the whole timeline; `restart` begins a new pass (a loop cycle).
// Main thread or a worker; one planner per playback.

#include "VeltranePlayback/NotePlan/NotePreparation.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

/// Where the drivers plan differently.
struct NotePlanOptions {
    /// Notes on a track from this one on are passed over: live playback has 32 strips. None: every track
    /// from 0 on is planned (the export gives each pattern channel a strip).
    std::optional<int> trackCount;
};

/// One strike of a timeline note.
struct PlannedNote {
    std::int64_t frame = 0;      // timeline frame of its first sample: start, delay, retrigger step, arpeggio
    std::int64_t gateFrames = 0; // held frames; the release follows
    int track = 0;
    int instrumentIndex = 0; // into the project's instruments
    int note = 0;            // the strike's pitch, 0 ... 127
    double volume = 1;       // the cell volume / 64
    double pan = 0;          // the pan column, else the prepared instrument's pan; -1 ... 1
    std::optional<int> slideFromNote; // with a slide: the last pitch kept on the track, if any
    /// The instrument at the note's start (see `prepareNoteInstrument`), shared by every strike of one
    /// timeline note and by later notes that leave it as it was.
    std::shared_ptr<const PreparedInstrument> instrument;
};

class NotePlanner {
public:
    using Take = std::function<void(const TimelineNoteEvent& event, const PlannedNote& strike)>;

    NotePlanner(const Project& project, NotePlanOptions options = {});

    /// Calls `take` for every strike of every kept note of `timeline`, notes in timeline order and the
    /// strikes of a note in the order they are made (step by step, pitch by pitch).
    void plan(const PlaybackTimeline& timeline, const Take& take);

    /// Forgets the slide memory: the next note planned starts a pass.
    void restart();

private:
    const Project& project_;
    NotePlanOptions options_;
    std::vector<std::optional<int>> slideMemory_;
    // The last prepared instrument of each project instrument: notes that leave it unchanged share it.
    std::vector<std::shared_ptr<const PreparedInstrument>> lastPrepared_;
};

} // namespace veltrane
