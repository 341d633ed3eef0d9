#pragma once

// The cells of a pattern: a rectangle of `rowCount()` rows by `channelCount()` channels, stored flat in
// row-major order behind a shared pointer. Copying a grid copies the pointer; the first write through a
// copy that still shares its storage copies the cells (copy-on-write). So undo steps and hand-overs of a
// project cost memory only for the patterns that were edited, and comparing two copies of an unedited
// grid is a pointer comparison.
//
// Reading (never copies):
//     grid(row, channel)            the cell; row and channel must lie inside the grid
//     grid[row][channel]            the same through a row view (a span of the row's cells)
//     grid.at(row, channel)         checked: throws std::out_of_range outside the grid
//     grid.row(row), grid.cells()   spans of one row or of every cell, row after row
// Writing (copies the cells first when the storage is shared):
//     grid.set(row, channel, cell)
//     grid.mutableCell(row, channel)             a reference valid until the grid is next copied
//     grid.mutableRow(row), grid.mutableCells()  writable spans, with the same validity
//     grid.resize(rows, channels)   keeps the cells that still fit; new positions hold empty cells
// Also: CellGrid(rows, channels) filled with empty cells, CellGrid::fromRows(rows of cells) for a
// rectangular list of rows (nothing when the rows differ in length), toRows(), sharesStorageWith(other).
//
// Equality: the same shape and equal cells; shared storage is equal at once.

#include "VeltraneCore/Models/Cell.hpp"

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

    int rowCount() const { return rows_; }
    int channelCount() const { return channels_; }
    bool contains(int row, int channel) const;

    const Cell& operator()(int row, int channel) const { return base()[index(row, channel)]; }
    std::span<const Cell> operator[](int row) const { return this->row(row); }
    const Cell& at(int row, int channel) const;
    std::span<const Cell> row(int row) const;
    std::span<const Cell> cells() const { return {base(), cellCount()}; }

    void set(int row, int channel, Cell cell);
    Cell& mutableCell(int row, int channel);
    std::span<Cell> mutableRow(int row);
    std::span<Cell> mutableCells();

    /// Changes the shape to `rows` by `channels` (negative counts as 0), keeping every cell whose row and
    /// channel are inside both shapes and filling the rest with empty cells.
    void resize(int rows, int channels);

    std::vector<std::vector<Cell>> toRows() const;
    bool sharesStorageWith(const CellGrid& other) const;

    friend bool operator==(const CellGrid& a, const CellGrid& b);

private:
    const Cell* base() const { return storage_ ? storage_->data() : nullptr; }
    std::size_t cellCount() const { return storage_ ? storage_->size() : 0; }
    std::size_t index(int row, int channel) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(channel);
    }
    void detach();

    int rows_ = 0;
    int channels_ = 0;
    // Never written while another grid shares it: `detach` copies first.
    std::shared_ptr<std::vector<Cell>> storage_;
};

} // namespace veltrane
