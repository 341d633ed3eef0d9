#pragma once

// A named grid of tracker cells. `rows` and `channels` are the pattern's stated size and `cells` its
// grid; every pattern made here or kept by the editing operations has a grid of exactly that shape.
// A pattern read from a file may state a size its grid does not have: `hasConsistentGrid()` tells, and
// such a project is refused when it is checked on load.
//
//     Pattern("Pattern 1", 64, 8)          a new identifier and 64 × 8 empty cells
//     pattern.cell(row, channel)           read (shared storage, never copies)
//     pattern.setCell(row, channel, cell)  write (copies the grid first only when another copy shares it)
//     pattern.cells[row][channel], pattern.cells.mutableCell(row, channel): see CellGrid.hpp

#include "VeltraneCore/Models/CellGrid.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <string>

namespace veltrane {

struct Pattern {
    Uuid id = Uuid::random();
    std::string name;
    int rows = 0;
    int channels = 0;
    CellGrid cells;

    Pattern() = default;
    /// A new identifier and `rows` × `channels` empty cells. Sizes are stored as given, unchecked.
    Pattern(std::string name, int rows, int channels);

    const Cell& cell(int row, int channel) const { return cells(row, channel); }
    void setCell(int row, int channel, Cell cell) { cells.set(row, channel, std::move(cell)); }
    bool contains(int row, int channel) const { return cells.contains(row, channel); }

    /// True when the grid has exactly `rows` rows of `channels` cells.
    bool hasConsistentGrid() const { return cells.rowCount() == rows && cells.channelCount() == channels; }

    friend bool operator==(const Pattern&, const Pattern&) = default;
};

} // namespace veltrane
