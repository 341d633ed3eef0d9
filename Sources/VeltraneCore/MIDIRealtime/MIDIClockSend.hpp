#pragma once

// Leading other devices: when playback starts we send where it starts (a Song Position Pointer) and
// Start or Continue, both stamped with the host time at which the first frame (or the first count-in
// beat) sounds, and then a Timing Clock every 1/24 beat, sent ahead in batches. A received Song
// Position moves the cursor the other way.
//
// Host times are CLOCK_MONOTONIC nanoseconds.

#include "VeltraneCore/Models/Project.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace veltrane {

/// One MIDI message of at most three bytes.
struct MIDIShortMessage {
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 0;

    friend bool operator==(const MIDIShortMessage&, const MIDIShortMessage&) = default;
};

inline constexpr std::uint8_t midiTimingClock = 0xF8;
inline constexpr std::uint8_t midiStart = 0xFA;
inline constexpr std::uint8_t midiContinue = 0xFB;
inline constexpr std::uint8_t midiStop = 0xFC;

/// What a playback start sends, in order: the song position, then Start or Continue.
struct MIDIClockStart {
    int songPosition = 0; // the position sent: the low 14 bits, in sixteenth notes
    MIDIShortMessage songPositionPointer;
    MIDIShortMessage startOrContinue; // Start only when the position sent is 0, else Continue

    friend bool operator==(const MIDIClockStart&, const MIDIClockStart&) = default;
};

/// The messages for a playback that starts at `startRow` (of the block `startBlock` in song mode).
/// Both are the place playback starts from, taken when play was pressed: the cursor may have moved
/// by the time the engine starts. In song mode the position counts the song's earlier blocks; in pattern
/// mode it is the row over the rows per beat, × 4. A receiver is told Start only when that position is
/// 0: from anywhere else it must continue from the position, or it would play from its beginning.
MIDIClockStart midiClockStart(const Project& project, bool songMode, int startBlock, int startRow);

/// Timing Clocks from a playback start: the first at the start itself, then one every 1/24 beat. Each
/// clock's time is counted from the start, so no rounding piles up over a long playback.
class MIDIClockSchedule {
public:
    /// Clocks for `bpm` from `originNanos`. A tempo that is not a positive number schedules none.
    MIDIClockSchedule(std::uint64_t originNanos, double bpm);

    /// The host time of clock `index` (0 is the origin).
    std::uint64_t timeOf(std::int64_t index) const;
    /// The times of the clocks not yet taken that fall at or before `horizonNanos`, in order; each clock is
    /// taken exactly once, whatever the horizons asked.
    std::vector<std::uint64_t> takeUntil(std::uint64_t horizonNanos);
    /// Clocks taken so far.
    std::int64_t taken() const { return taken_; }
    /// Nanoseconds between clocks (0 when none are scheduled).
    double intervalNanos() const { return intervalNanos_; }

private:
    std::uint64_t origin_;
    double intervalNanos_;
    std::int64_t taken_ = 0;
};

/// How far ahead clocks are sent, and how often the sender looks again: the look-ahead must exceed the
/// period so that no clock is late when a wake-up is.
inline constexpr std::uint64_t midiClockLookAheadNanos = 1'500'000'000;
inline constexpr std::uint64_t midiClockWakePeriodNanos = 500'000'000;

/// Where a received Song Position puts the cursor.
struct MIDISeekTarget {
    std::optional<int> songBlock;    // song mode: the block to select
    std::optional<int> patternIndex; // song mode with an arrangement: that block's pattern
    int row = 0;

    friend bool operator==(const MIDISeekTarget&, const MIDISeekTarget&) = default;
};

/// The cursor for song position `position`. Pattern mode: position × rowsPerBeat / 4 rows (none
/// before the start), wrapped into the current pattern `patternIndex`. Song mode: the song location of
/// the position, and its block's pattern when the project has an arrangement and the block is in it.
MIDISeekTarget midiSeekTarget(int position, const Project& project, bool songMode, int patternIndex);

} // namespace veltrane
