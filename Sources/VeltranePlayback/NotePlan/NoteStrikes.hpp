#pragma once

// What a timeline note's effect columns make of it before anything is rendered: the retrigger cuts its
// length into equal steps, the delay moves every step later by a fraction of the note's row, and each step
// sounds the note's pitch list (the note, then its arpeggio offsets one after another, or else its chord
// intervals all at once; at most three pitches). Chance, pan, vibrato, tremolo and slide are decided
// elsewhere.
//
//     for (const auto& strike : noteStrikes(note, noteRowFrames(timeline, note))) ...
//
// Live playback and the export place notes through these functions. Pure.

#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace veltrane {

struct NoteStrike {
    std::int64_t frame = 0;        // timeline frame where this pitch starts
    std::int64_t lengthFrames = 0; // its gate; an arpeggio on a very short step can make it 0
    int note = 0;                  // MIDI pitch held to 0 to 127

    friend bool operator==(const NoteStrike&, const NoteStrike&) = default;
};

/// The length of the row the note starts on: the timeline row at the note's start frame with its
/// pattern and row. Nothing when the timeline lists no such row.
std::optional<std::int64_t> noteRowFrames(const PlaybackTimeline& timeline, const TimelineNoteEvent& note);

/// The strikes of `note` in the order they are made (step by step, pitch by pitch). `rowFrames` measures
/// the delay column; without a row the step length stands in for it.
std::vector<NoteStrike> noteStrikes(const TimelineNoteEvent& note, std::optional<std::int64_t> rowFrames);

} // namespace veltrane
