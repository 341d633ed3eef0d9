#pragma once

// The rules of recording received notes into a pattern, as plain functions. Real-time recording pulls a
// note towards the nearest row start by a quantize strength, keeps what remains of its offset as a
// delay effect in sixteenths of the row, and turns the time the key was held into the cell's gate.
// Step recording writes into the cursor cell. The model decides which cell and when; these decide what
// goes in.

#include "VeltraneCore/LiveRecording/LiveRecordMode.hpp"
#include "VeltraneCore/Models/Cell.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

/// Where a real-time note lands: an entry of the timeline's rows and the note's delay after its start.
struct RecordingPlacement {
    int timelineRowIndex = 0; // index into the timeline's rows
    int patternIndex = 0;     // that row's pattern
    int row = 0;              // that row within its pattern
    std::uint8_t delay = 0;   // 0 to 15, in sixteenths of the row

    friend bool operator==(const RecordingPlacement&, const RecordingPlacement&) = default;
};

/// The row a note played at `frame` (within one pass, held to the timeline) is recorded on. Strength 1
/// moves it onto the nearest row start (the earlier row on a tie), strength 0 keeps its offset to the
/// nearest sixteenth of the row it was played in; strengths between pull it part of the way. A
/// strength outside 0 ... 1 is held to it, one that is not a number counts as 0. An offset that rounds
/// to a whole row moves the note to the next row's start, except on the last row, where it stays with
/// delay 15. Nothing for a timeline without rows or frames.
std::optional<RecordingPlacement> recordingPlacement(std::int64_t frame, double quantizeStrength, const PlaybackTimeline& timeline);

/// The position within one pass of a playback `absoluteFrame` frames after its start: wrapped when the
/// playback loops, else held to the last frame. `totalFrames` is at least 1 for a playing timeline.
std::int64_t recordingFrame(std::int64_t absoluteFrame, std::int64_t totalFrames, bool looping);

/// Which pass of a looping timeline `absoluteFrame` falls in (0 for the first).
std::int64_t recordingPass(std::int64_t absoluteFrame, std::int64_t totalFrames);

/// The gate, in rows, of a note held from `startFrame` to `endFrame` on a row of `rowDurationFrames`:
/// the frames held (at least one, even when released at or before its start) over the row length,
/// held to 0.01 ... 16.
double recordedGate(std::int64_t startFrame, std::int64_t endFrame, std::int64_t rowDurationFrames);

/// A cell volume (0 ... 64) for a MIDI velocity: velocity × 64 / 127, truncated, velocity held to 0 ... 127.
std::uint8_t recordedVolume(int velocity);

/// Step recording writes the note, instrument and volume into the cursor cell. In replace mode the cell
/// is emptied first; in overdub mode its effects, gate and locks stay.
void recordStepNote(Cell& cell, int note, int instrument, int velocity, LiveRecordWriteMode writeMode);

/// Real-time recording writes the note, instrument and volume, and puts the placement's delay into the
/// effect columns: any delay effect already there goes (the other entries close up in their order), and
/// a delay above 0 takes the first empty column, or the second when both are taken. Gate and locks stay.
void recordRealtimeNote(Cell& cell, int note, int instrument, int velocity, std::uint8_t delay);

} // namespace veltrane
