#include "VeltraneCore/PatternOperations/PatternClipboard.hpp"

#include "VeltraneCore/PatternOperations/PatternExtent.hpp"

#include <algorithm>
#include <cstdint>

namespace veltrane {

namespace patternops {

std::optional<CellRange> workingRange(const Pattern& pattern, const std::optional<CellRange>& range)
{
    const auto extent = extentOf(pattern);
    if (extent.isEmpty()) return std::nullopt;
    if (!range) return CellRange{0, 0, extent.rows - 1, extent.channels - 1};
    return clipped(pattern, *range);
}

} // namespace patternops

CellRange orderedCellRange(int startRow, int startTrack, int endRow, int endTrack)
{
    return {std::min(startRow, endRow), std::min(startTrack, endTrack), std::max(startRow, endRow),
            std::max(startTrack, endTrack)};
}

CellRange clipped(const Pattern& pattern, const CellRange& range)
{
    const auto extent = patternops::extentOf(pattern);
    // An extent of 0 clamps into 0 to 0 rather than into an inverted interval.
    const auto clampRow = [&](int row) { return std::clamp(row, 0, std::max(extent.rows - 1, 0)); };
    const auto clampTrack = [&](int track) { return std::clamp(track, 0, std::max(extent.channels - 1, 0)); };
    return orderedCellRange(clampRow(range.startRow), clampTrack(range.startTrack), clampRow(range.endRow),
                            clampTrack(range.endTrack));
}

CellBlock copy(const Pattern& pattern, const CellRange& range)
{
    CellBlock block;
    const auto area = patternops::workingRange(pattern, range);
    if (!area) return block;
    for (int row = area->startRow; row <= area->endRow; ++row) {
        const auto cells = pattern.cells.row(row);
        block.cells.emplace_back(cells.begin() + area->startTrack, cells.begin() + area->endTrack + 1);
    }
    return block;
}

void paste(Pattern& pattern, const CellBlock& block, int atRow, int track)
{
    const auto extent = patternops::extentOf(pattern);
    for (std::size_t i = 0; i < block.cells.size(); ++i) {
        // Offsets are summed in 64 bits: a target far outside the pattern is dropped, never wrapped.
        const std::int64_t row = std::int64_t{atRow} + static_cast<std::int64_t>(i);
        if (row < 0) continue;
        if (row >= extent.rows) break;
        const auto& cells = block.cells[i];
        for (std::size_t j = 0; j < cells.size(); ++j) {
            const std::int64_t column = std::int64_t{track} + static_cast<std::int64_t>(j);
            if (column < 0) continue;
            if (column >= extent.channels) break;
            patternops::writeCell(pattern, static_cast<int>(row), static_cast<int>(column), cells[j]);
        }
    }
}

void clear(Pattern& pattern, const CellRange& range)
{
    const auto area = patternops::workingRange(pattern, range);
    if (!area) return;
    const Cell empty;
    for (int row = area->startRow; row <= area->endRow; ++row) {
        for (int column = area->startTrack; column <= area->endTrack; ++column) {
            patternops::writeCell(pattern, row, column, empty);
        }
    }
}

} // namespace veltrane
