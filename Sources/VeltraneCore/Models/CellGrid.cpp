#include "VeltraneCore/Models/CellGrid.hpp"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace veltrane {

CellGrid::CellGrid(int rows, int channels)
    : rows_(std::max(rows, 0))
    , channels_(std::max(channels, 0))
{
    const auto count = static_cast<std::size_t>(rows_) * static_cast<std::size_t>(channels_);
    if (count > 0) storage_ = std::make_shared<std::vector<Cell>>(count);
}

std::optional<CellGrid> CellGrid::fromRows(const std::vector<std::vector<Cell>>& rows)
{
    const std::size_t width = rows.empty() ? 0 : rows.front().size();
    for (const auto& row : rows) {
        if (row.size() != width) return std::nullopt;
    }
    CellGrid grid;
    grid.rows_ = static_cast<int>(rows.size());
    grid.channels_ = static_cast<int>(width);
    if (rows.size() * width > 0) {
        auto storage = std::make_shared<std::vector<Cell>>();
        storage->reserve(rows.size() * width);
        for (const auto& row : rows) storage->insert(storage->end(), row.begin(), row.end());
        grid.storage_ = std::move(storage);
    }
    return grid;
}

bool CellGrid::contains(int row, int channel) const
{
    return row >= 0 && row < rows_ && channel >= 0 && channel < channels_;
}

const Cell& CellGrid::at(int row, int channel) const
{
    if (!contains(row, channel)) throw std::out_of_range("cell outside the pattern grid");
    return (*this)(row, channel);
}

std::span<const Cell> CellGrid::row(int row) const
{
    return {base() + index(row, 0), static_cast<std::size_t>(channels_)};
}

void CellGrid::set(int row, int channel, Cell cell) { mutableCell(row, channel) = std::move(cell); }

Cell& CellGrid::mutableCell(int row, int channel)
{
    detach();
    return (*storage_)[index(row, channel)];
}

std::span<Cell> CellGrid::mutableRow(int row)
{
    detach();
    if (!storage_) return {};
    return {storage_->data() + index(row, 0), static_cast<std::size_t>(channels_)};
}

std::span<Cell> CellGrid::mutableCells()
{
    detach();
    if (!storage_) return {};
    return {storage_->data(), storage_->size()};
}

void CellGrid::resize(int rows, int channels)
{
    rows = std::max(rows, 0);
    channels = std::max(channels, 0);
    if (rows == rows_ && channels == channels_) return;
    CellGrid resized(rows, channels);
    const int keptRows = std::min(rows, rows_);
    const int keptChannels = std::min(channels, channels_);
    if (keptRows > 0 && keptChannels > 0) {
        auto& target = *resized.storage_;
        for (int r = 0; r < keptRows; ++r) {
            const auto source = this->row(r);
            std::copy_n(source.begin(), keptChannels, target.begin() + static_cast<std::ptrdiff_t>(resized.index(r, 0)));
        }
    }
    *this = std::move(resized);
}

std::vector<std::vector<Cell>> CellGrid::toRows() const
{
    std::vector<std::vector<Cell>> rows;
    rows.reserve(static_cast<std::size_t>(rows_));
    for (int r = 0; r < rows_; ++r) {
        const auto cells = row(r);
        rows.emplace_back(cells.begin(), cells.end());
    }
    return rows;
}

bool CellGrid::sharesStorageWith(const CellGrid& other) const { return storage_ && storage_ == other.storage_; }

void CellGrid::detach()
{
    if (!storage_) return;
    if (storage_.use_count() == 1) {
        // The last other owner may have released its copy on another thread just now; make its reads
        // happen before our writes.
        std::atomic_thread_fence(std::memory_order_acquire);
        return;
    }
    storage_ = std::make_shared<std::vector<Cell>>(*storage_);
}

bool operator==(const CellGrid& a, const CellGrid& b)
{
    if (a.rows_ != b.rows_ || a.channels_ != b.channels_) return false;
    if (a.storage_ == b.storage_) return true;
    const auto left = a.cells();
    const auto right = b.cells();
    return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

} // namespace veltrane
