#pragma once

// The selection clipboard of the tracker: ranges, copying, pasting and clearing cells.
//
// A range may come with its corners in either order and reach past the pattern; every operation that
// takes one first passes it through `clipped`, so no argument is ever an error: what lies outside the
// pattern is clamped or dropped.
//
//     const auto block = copy(pattern, orderedCellRange(4, 1, 5, 3));   // 2 rows of 3 cells
//     paste(pattern, block, 63, 6);     // only the part that lands inside the pattern is written
//     clear(pattern, {.startRow = 70, .endRow = 80});                   // clears the last row

#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

namespace veltrane {

/// The range between two corners given in any order: the smaller row and the smaller track first.
CellRange orderedCellRange(int startRow, int startTrack, int endRow, int endTrack);

/// The range with each coordinate clamped into the pattern (rows 0 to rows − 1, tracks 0 to channels − 1)
/// and its corners ordered. Never empty: a range wholly outside collapses onto the nearest edge. A
/// pattern without cells gives the range of row 0, track 0, which the operations then treat as nothing.
CellRange clipped(const Pattern& pattern, const CellRange& range);

/// The cells of the clipped range, row by row from the top, each row from its left track: whole cells.
/// At least one cell, unless the pattern has none.
CellBlock copy(const Pattern& pattern, const CellRange& range);

/// Writes block cell [i][j] over the whole cell at row `atRow` + i, track `track` + j. Cells that would
/// land outside the pattern are dropped, so `atRow` and `track` may be negative or near the end. Rows of
/// the block may differ in length.
void paste(Pattern& pattern, const CellBlock& block, int atRow, int track);

/// Every cell of the clipped range becomes the empty cell.
void clear(Pattern& pattern, const CellRange& range);

} // namespace veltrane
