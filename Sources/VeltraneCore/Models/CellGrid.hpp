#pragma once

// The cells of a pattern: a rectangle of `rowCount()` rows by `channelCount()` channels. Storage is shared
// at two levels: the list of rows, and each row's cells. Copying a grid copies one pointer; the first write
// through a copy copies the list of row pointers and the one row it touches (copy-on-write). So an undo
// step or a hand-over of a project costs memory only for the rows that were edited, and comparing two
// copies of an unedited grid is a pointer comparison. The rows of a new grid all share one empty row.
//
// Reading (never copies):
//     grid(row, channel)            the cell; row and channel must lie inside the grid
//     grid[row][channel]            the same through a row view (a span of the row's cells)
//     grid.at(row, channel)         checked: throws std::out_of_range outside the grid
//     grid.row(row)                 a span of one row's cells, channel after channel
//     every cell: for (int r = 0; r < grid.rowCount(); ++r) for (const Cell& cell : grid.row(r)) ...
// Writing (copies first what another grid still shares):
//     grid.set(row, channel, cell)
//     grid.mutableCell(row, channel)   a reference valid until the grid is next copied or resized
//     grid.mutableRow(row)             a writable span, with the same validity
//     grid.resize(rows, channels)      keeps the cells that still fit; new positions hold empty cells
// Also: CellGrid(rows, channels) filled with empty cells, CellGrid::fromRows(rows of cells) for a
// rectangular list of rows (nothing when the rows differ in length), toRows(), sharesStorageWith(other),
// sharesRowWith(other, row).
//
// Equality: the same shape and equal cells; shared rows are equal at once.

#include "VeltraneCore/Models/Cell.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

class CellGrid {
public:
    CellGrid() = default;
    /// `rows` by `channels` empty cells; a negative size counts as 0.
    CellGrid(int rows, int channels);

    /// The grid of a list of rows, or nothing when the rows are not all of one length.
    static std::optional<CellGrid> fromRows(const std::vector<std::vector<Cell>>& rows);

    int rowCount() const { return rowCount_; }
    int channelCount() const { return channels_; }
    bool contains(int row, int channel) const;

    const Cell& operator()(int row, int channel) const { return (*(*rows_)[static_cast<std::size_t>(row)])[static_cast<std::size_t>(channel)]; }
    std::span<const Cell> operator[](int row) const { return this->row(row); }
    const Cell& at(int row, int channel) const;
    std::span<const Cell> row(int row) const;

    void set(int row, int channel, Cell cell);
    Cell& mutableCell(int row, int channel);
    std::span<Cell> mutableRow(int row);

    /// Changes the shape to `rows` by `channels` (negative counts as 0), keeping every cell whose row and
    /// channel are inside both shapes and filling the rest with empty cells.
    void resize(int rows, int channels);

    std::vector<std::vector<Cell>> toRows() const;
    /// True when both grids hold the very same list of rows (neither was written since one was copied).
    bool sharesStorageWith(const CellGrid& other) const;
    /// True when row `row` of both grids is the very same storage.
    bool sharesRowWith(const CellGrid& other, int row) const;

    friend bool operator==(const CellGrid& a, const CellGrid& b);

private:
    using Row = std::vector<Cell>;
    using RowList = std::vector<std::shared_ptr<Row>>;

    Row& detachedRow(int row);

    int rowCount_ = 0;
    int channels_ = 0;
    // Neither the list nor a row is ever written while another owner shares it: writers copy first.
    // A grid with no rows holds no list.
    std::shared_ptr<RowList> rows_;
};

} // namespace veltrane
