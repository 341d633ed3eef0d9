#include "VeltraneCore/PatternOperations/PatternTransforms.hpp"

#include "VeltraneCore/PatternOperations/PatternExtent.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace veltrane {

namespace {
constexpr int maximumRows = 256;
constexpr int maximumChannels = 32;
} // namespace

void transpose(Pattern& pattern, int semitones, std::optional<CellRange> in)
{
    const auto area = patternops::workingRange(pattern, in);
    if (!area || semitones == 0) return;
    for (int row = area->startRow; row <= area->endRow; ++row) {
        for (int track = area->startTrack; track <= area->endTrack; ++track) {
            const auto& note = pattern.cell(row, track).note;
            const auto pitch = note ? pitchOf(*note) : std::nullopt;
            if (!pitch) continue;
            // Summed in 64 bits so that a huge shift is simply out of range rather than wrapping into it.
            const std::int64_t shifted = std::int64_t{*pitch} + semitones;
            if (!patternops::isValidPitch(shifted)) continue;
            pattern.cells.mutableCell(row, track).note = NotePitch{static_cast<int>(shifted)};
        }
    }
}

void rotateRows(Pattern& pattern, int offset, std::optional<CellRange> in)
{
    const auto area = patternops::workingRange(pattern, in);
    if (!area) return;
    const int count = area->endRow - area->startRow + 1;
    if (count < 2) return;
    const int shift = ((offset % count) + count) % count;
    if (shift == 0) return;
    std::vector<Cell> column(static_cast<std::size_t>(count));
    for (int track = area->startTrack; track <= area->endTrack; ++track) {
        for (int i = 0; i < count; ++i) column[static_cast<std::size_t>(i)] = pattern.cell(area->startRow + i, track);
        for (int i = 0; i < count; ++i) {
            const int source = (i - shift + count) % count;
            patternops::writeCell(pattern, area->startRow + i, track, column[static_cast<std::size_t>(source)]);
        }
    }
}

void doubleLength(Pattern& pattern)
{
    if (pattern.rows >= maximumRows) return;
    // After the resize the grid holds every new row, so the old rows can be read whatever the grid held.
    const int oldRows = std::max(pattern.rows, 0);
    resize(pattern, std::min(2 * oldRows, maximumRows), std::nullopt);
    for (int i = 0; i < oldRows && oldRows + i < pattern.rows; ++i) {
        const int target = oldRows + i;
        // The new rows share one empty row; a copy of an empty row leaves it shared.
        if (std::ranges::equal(pattern.cells.row(i), pattern.cells.row(target))) continue;
        const auto destination = pattern.cells.mutableRow(target);
        const auto source = pattern.cells.row(i);
        std::ranges::copy(source, destination.begin());
    }
}

void resize(Pattern& pattern, std::optional<int> rows, std::optional<int> channels)
{
    const int newRows = std::clamp(rows.value_or(pattern.rows), 1, maximumRows);
    const int newChannels = std::clamp(channels.value_or(pattern.channels), 1, maximumChannels);
    pattern.cells.resize(newRows, newChannels);
    pattern.rows = newRows;
    pattern.channels = newChannels;
}

} // namespace veltrane
