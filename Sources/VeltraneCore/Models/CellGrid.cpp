#include "VeltraneCore/Models/CellGrid.hpp"

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace veltrane {

namespace {

// True when the caller holds the only reference, so it may write. The last other owner may have let
// go on another thread just now; the fence orders its reads before our writes.
template <class T>
bool isSoleOwner(const std::shared_ptr<T>& pointer)
{
    if (pointer.use_count() != 1) return false;
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
}

} // namespace

CellGrid::CellGrid(int rows, int channels)
    : rowCount_(std::max(rows, 0))
    , channels_(std::max(channels, 0))
{
    if (rowCount_ == 0) return;
    const auto emptyRow = std::make_shared<Row>(static_cast<std::size_t>(channels_));
    rows_ = std::make_shared<RowList>(static_cast<std::size_t>(rowCount_), emptyRow);
}

std::optional<CellGrid> CellGrid::fromRows(const std::vector<std::vector<Cell>>& rows)
{
    const std::size_t width = rows.empty() ? 0 : rows.front().size();
    for (const auto& row : rows) {
        if (row.size() != width) return std::nullopt;
    }
    CellGrid grid;
    grid.rowCount_ = static_cast<int>(rows.size());
    grid.channels_ = static_cast<int>(width);
    if (!rows.empty()) {
        auto list = std::make_shared<RowList>();
        list->reserve(rows.size());
        for (const auto& row : rows) list->push_back(std::make_shared<Row>(row));
        grid.rows_ = std::move(list);
    }
    return grid;
}

bool CellGrid::contains(int row, int channel) const
{
    return row >= 0 && row < rowCount_ && channel >= 0 && channel < channels_;
}

const Cell& CellGrid::at(int row, int channel) const
{
    if (!contains(row, channel)) throw std::out_of_range("cell outside the pattern grid");
    return (*this)(row, channel);
}

std::span<const Cell> CellGrid::row(int row) const { return *(*rows_)[static_cast<std::size_t>(row)]; }

void CellGrid::set(int row, int channel, Cell cell) { mutableCell(row, channel) = std::move(cell); }

Cell& CellGrid::mutableCell(int row, int channel) { return detachedRow(row)[static_cast<std::size_t>(channel)]; }

std::span<Cell> CellGrid::mutableRow(int row) { return detachedRow(row); }

CellGrid::Row& CellGrid::detachedRow(int row)
{
    if (!isSoleOwner(rows_)) rows_ = std::make_shared<RowList>(*rows_);
    auto& slot = (*rows_)[static_cast<std::size_t>(row)];
    if (!isSoleOwner(slot)) slot = std::make_shared<Row>(*slot);
    return *slot;
}

void CellGrid::resize(int rows, int channels)
{
    rows = std::max(rows, 0);
    channels = std::max(channels, 0);
    if (rows == rowCount_ && channels == channels_) return;
    CellGrid resized(rows, channels);
    const int keptRows = std::min(rows, rowCount_);
    for (int r = 0; r < keptRows; ++r) {
        auto& target = (*resized.rows_)[static_cast<std::size_t>(r)];
        const auto& source = (*rows_)[static_cast<std::size_t>(r)];
        if (channels == channels_) {
            target = source; // the row is unchanged: share it
        } else {
            auto row = std::make_shared<Row>(static_cast<std::size_t>(channels));
            std::copy_n(source->begin(), std::min(channels, channels_), row->begin());
            target = std::move(row);
        }
    }
    *this = std::move(resized);
}

std::vector<std::vector<Cell>> CellGrid::toRows() const
{
    std::vector<std::vector<Cell>> rows;
    rows.reserve(static_cast<std::size_t>(rowCount_));
    for (int r = 0; r < rowCount_; ++r) {
        const auto cells = row(r);
        rows.emplace_back(cells.begin(), cells.end());
    }
    return rows;
}

bool CellGrid::sharesStorageWith(const CellGrid& other) const { return rows_ && rows_ == other.rows_; }

bool CellGrid::sharesRowWith(const CellGrid& other, int row) const
{
    if (row < 0 || row >= rowCount_) return false;
    if (!other.rows_ || row >= other.rowCount_) return false;
    return (*rows_)[static_cast<std::size_t>(row)] == (*other.rows_)[static_cast<std::size_t>(row)];
}

bool operator==(const CellGrid& a, const CellGrid& b)
{
    if (a.rowCount_ != b.rowCount_ || a.channels_ != b.channels_) return false;
    if (a.rows_ == b.rows_) return true;
    for (std::size_t r = 0; r < a.rows_->size(); ++r) {
        const auto& left = (*a.rows_)[r];
        const auto& right = (*b.rows_)[r];
        if (left != right && *left != *right) return false;
    }
    return true;
}

} // namespace veltrane
