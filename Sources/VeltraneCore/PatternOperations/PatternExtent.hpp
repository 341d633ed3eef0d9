#pragma once

// Shared by the pattern editing operations; not part of their interface.
//
// The operations work on the cells a pattern really has. A pattern read from a file may state a size its
// grid does not have (such a project is refused on load, but the operations are pure and may meet one),
// so they bound every loop by the smaller of the stated and the stored size and never index past the grid.
//
// They also write a cell only when its value changes: the grid copies a row on its first write, so an
// edit that leaves a row as it was keeps that row shared with every other copy of the pattern.

#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace veltrane::patternops {

struct Extent {
    int rows = 0;
    int channels = 0;

    bool isEmpty() const { return rows < 1 || channels < 1; }
    bool containsTrack(int track) const { return track >= 0 && track < channels; }
    bool containsRow(int row) const { return row >= 0 && row < rows; }
};

inline Extent extentOf(const Pattern& pattern)
{
    return {std::max(0, std::min(pattern.rows, pattern.cells.rowCount())),
            std::max(0, std::min(pattern.channels, pattern.cells.channelCount()))};
}

/// The range an operation works on: the given one clipped into the extent, or the whole extent. Nothing
/// when the pattern has no cells at all.
std::optional<CellRange> workingRange(const Pattern& pattern, const std::optional<CellRange>& range);

inline void writeCell(Pattern& pattern, int row, int track, const Cell& cell)
{
    if (pattern.cells(row, track) != cell) pattern.cells.set(row, track, cell);
}

inline void writeVolume(Pattern& pattern, int row, int track, std::uint8_t volume)
{
    if (pattern.cells(row, track).volume != volume) pattern.cells.mutableCell(row, track).volume = volume;
}

/// The cell a generator writes: the note, instrument and volume, and nothing else.
inline Cell generatedNoteCell(int pitch, int instrument, std::uint8_t volume)
{
    return Cell{.note = NotePitch{pitch}, .instrument = instrument, .volume = volume};
}

inline bool isValidPitch(std::int64_t pitch) { return pitch >= 0 && pitch <= 127; }

} // namespace veltrane::patternops
