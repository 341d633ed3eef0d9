#pragma once

// The one place where a project becomes time. A timeline lists the rows a playback passes through, each
// with its start frame and length, and the notes, note-offs and parameter-lock events of every track, all
// in sample frames at one sample rate. Live playback, offline rendering, MIDI export and live recording
// all read the same value, so they agree to the frame.
//
//     auto timeline = playbackTimeline(project, PatternScope{2}, cursorRow, 0, 48000, true);
//     auto song     = playbackTimeline(project, SongScope{}, 0, 0, 44100, false);
//
// Rows: base = 60 / bpm / rowsPerBeat seconds; with swing s = min(swing, 1) / 2, even rows (by their index
// in their own pattern) last base × (1 − s) and odd rows base × (1 + s). Start frames are rounded from the
// accumulated time in seconds, so no drift builds up; every row lasts at least one frame.
//
// Notes: a cell plays when it holds a pitch and its own instrument number names an instrument. Its length
// is its gate (in its own row's lengths, 1 by default), extended by ties that follow directly and cut by
// the next note, note-off or (after an empty row) tie on the track. A cyclic timeline lets a note run on
// into the next cycle, at most one cycle; a non-cyclic one ends every note by `totalFrames`.
//
// A project that cannot be timed (no patterns, a tempo or rows per beat that is not positive, a pattern
// whose grid does not match its size, a sample rate that is not positive, or one so high that the song's
// frames would pass `maximumTimelineFrames`) gives an empty timeline. At most `maximumTimelineRows` rows
// are listed.
// Blocks and order entries that name no pattern are passed over.

#include "VeltraneCore/Models/ParameterLock.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace veltrane {

class InstrumentLanes;

/// One pattern, by its index in `Project::patterns` (an index outside the list plays pattern 0).
struct PatternScope {
    int index = 0;
    friend bool operator==(const PatternScope&, const PatternScope&) = default;
};

/// The song's blocks from the start block to the last.
struct SongScope {
    friend bool operator==(const SongScope&, const SongScope&) = default;
};

/// The song's loop region when the arrangement has an enabled one, else the whole song from block 0.
struct SongLoopScope {
    friend bool operator==(const SongLoopScope&, const SongLoopScope&) = default;
};

using PlaybackScope = std::variant<PatternScope, SongScope, SongLoopScope>;

struct TimelineRow {
    std::int64_t startFrame = 0;     // from the first listed row, which starts at 0
    std::int64_t durationFrames = 1; // at least 1
    int patternIndex = 0;
    std::optional<int> orderPosition; // the song block the row belongs to; none in pattern scope
    int row = 0;                      // index within its pattern

    friend bool operator==(const TimelineRow&, const TimelineRow&) = default;
};

struct TimelineNoteEvent {
    std::int64_t startFrame = 0; // the start of the cell's row
    std::int64_t durationFrames = 1;
    int track = 0;
    int note = 0;       // MIDI pitch
    int instrument = 0; // always a valid index into `Project::instruments`
    double volume = 1;  // cell volume / 64; an empty volume is 1
    EffectParameters effects;
    std::vector<ParameterLock> locks; // the cell's locks, in cell order
    int patternIndex = 0;
    int row = 0;

    friend bool operator==(const TimelineNoteEvent&, const TimelineNoteEvent&) = default;
};

struct TimelineNoteOffEvent {
    std::int64_t frame = 0; // the note's startFrame + durationFrames
    int track = 0;
    int note = 0;

    friend bool operator==(const TimelineNoteOffEvent&, const TimelineNoteOffEvent&) = default;
};

struct TimelineLockEvent {
    std::int64_t frame = 0; // the start of the cell's row
    int track = 0;
    /// The cell's own instrument number (whatever its value), else the last one on this track that named
    /// an instrument, else none.
    std::optional<int> instrument;
    std::vector<ParameterLock> locks; // never empty
    int patternIndex = 0;
    int row = 0;

    friend bool operator==(const TimelineLockEvent&, const TimelineLockEvent&) = default;
};

struct PlaybackTimeline {
    double sampleRate = 44100;
    std::vector<TimelineRow> rows;              // in playback order
    std::vector<TimelineNoteEvent> notes;       // by startFrame, then track
    std::vector<TimelineNoteOffEvent> noteOffs; // one per note, by frame, then track
    std::vector<TimelineLockEvent> locks;       // one per listed cell with locks, by frame, then track
    std::int64_t totalFrames = 0;               // one pass (one loop cycle); 0 without rows

    /// The lanes of the instrument parameters made from `locks`, built once with the timeline so that
    /// preparing every note reads them by binary search. A derived index, not part of the value: equality
    /// ignores it, and a timeline assembled or edited by hand goes without (the look-ups then index its
    /// lock events themselves).
    std::shared_ptr<const InstrumentLanes> instrumentLanes;

    /// `totalFrames` in seconds.
    double duration() const { return sampleRate > 0 ? static_cast<double>(totalFrames) / sampleRate : 0; }

    friend bool operator==(const PlaybackTimeline& a, const PlaybackTimeline& b)
    {
        return a.sampleRate == b.sampleRate && a.rows == b.rows && a.notes == b.notes && a.noteOffs == b.noteOffs &&
               a.locks == b.locks && a.totalFrames == b.totalFrames;
    }
};

/// The most rows a timeline lists. A song of 2,500 blocks of 64 passes of a 256-row pattern fits in a file
/// of a few hundred kilobytes and lists 41 million rows, gigabytes as a timeline; rows past this bound
/// are not listed, not played and not counted in any length. It is far beyond any song: over 36 hours at
/// 120 bpm and 4 rows a beat, and over 2.5 hours at the fastest rows a project allows.
inline constexpr std::int64_t maximumTimelineRows = std::int64_t{1} << 20;

/// The most frames a timeline spans. Only an absurd sample rate reaches it; a scope that would last
/// longer is not timed at all (its timeline is empty), so that no sum of frames can overflow.
inline constexpr std::int64_t maximumTimelineFrames = std::int64_t{1} << 60;

/// A stretch of the listed rows of a scope: `rowCount` rows from the listed row `firstRow` (0 is the
/// scope's first listed row).
struct TimelineWindow {
    std::int64_t firstRow = 0;
    std::int64_t rowCount = 0;
    friend bool operator==(const TimelineWindow&, const TimelineWindow&) = default;
};

/// How long the timeline of a scope is, without listing it.
struct TimelineLength {
    double sampleRate = 44100;
    std::int64_t rows = 0;        // the rows its timeline lists
    std::int64_t totalFrames = 0; // its `totalFrames`

    double duration() const { return sampleRate > 0 ? static_cast<double>(totalFrames) / sampleRate : 0; }
    friend bool operator==(const TimelineLength&, const TimelineLength&) = default;
};

/// The timeline of `scope`. `startRow` is where the first listed pattern pass begins (clamped into that
/// pattern); `startBlock` is the first block in `SongScope` (clamped into the block list) and ignored
/// otherwise; `cyclic` says the caller plays the timeline over and over, so notes may run into the next
/// cycle. Pure: reads the project only, safe on any thread.
PlaybackTimeline playbackTimeline(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                  double sampleRate, bool cyclic);

/// The part of that timeline that `window` covers, for a player that holds a stretch of a long song at a
/// time rather than all of it: its rows, and the notes, note-offs and lock events of those rows, each
/// exactly as the whole timeline lists it (frames counted from the scope's first row, note lengths
/// reaching past the window, lock events naming the instrument the rows before left on their track).
/// `totalFrames` is the whole timeline's. A window past the last listed row holds nothing.
PlaybackTimeline playbackTimeline(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                  double sampleRate, bool cyclic, TimelineWindow window);

/// The lock events of that timeline from the listed row `fromRow` on, row by row and track by track, each
/// exactly as the whole timeline lists it, handed to `visit` one at a time until it returns false or the rows end. Holds
/// no more than one event at a time: a player that holds a window of a long song finds here the lane
/// points after its window, however far away they are.
void forEachTimelineLock(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                         double sampleRate, std::int64_t fromRow,
                         const std::function<bool(const TimelineLockEvent& event)>& visit);

/// The rows and frames of the timeline of `scope`, as `playbackTimeline` would list them, computed from
/// the blocks, their repeats and the row timing without listing anything: a check of a song's length
/// costs no memory, however long the song.
TimelineLength playbackTimelineLength(const Project& project, const PlaybackScope& scope, int startRow,
                                      int startBlock, double sampleRate);

/// Seconds of row `row` (its index within its pattern) at this tempo and swing; a negative or NaN swing
/// counts as none and a swing above 1 as 1. A tempo or rows per beat that is not positive gives 0.
double rowDuration(double bpm, int rowsPerBeat, int row, double swing);

} // namespace veltrane
