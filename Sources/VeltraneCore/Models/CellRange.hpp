#pragma once

#include "VeltraneCore/Models/Cell.hpp"

#include <vector>

namespace veltrane {

/// A rectangle of rows by tracks of a pattern, both corners included. The corners may come in either
/// order; the editing operations order and clip them.
struct CellRange {
    int startRow = 0;
    int startTrack = 0;
    int endRow = 0;
    int endTrack = 0;

    friend bool operator==(const CellRange&, const CellRange&) = default;
};

/// Cells copied from a range, row by row: the clipboard.
struct CellBlock {
    std::vector<std::vector<Cell>> cells;

    friend bool operator==(const CellBlock&, const CellBlock&) = default;
};

} // namespace veltrane
