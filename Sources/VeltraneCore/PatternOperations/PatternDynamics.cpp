#include "VeltraneCore/PatternOperations/PatternDynamics.hpp"

#include "VeltraneCore/PatternOperations/PatternExtent.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

constexpr std::uint8_t defaultNoteVolume = 52;

/// The generator of humanize. Its constants are part of the document's behaviour: a seed must give the
/// same volumes on every machine and in every version.
struct HumanizeGenerator {
    std::uint64_t state;
    std::uint64_t next()
    {
        state = state * 2862933555777941757ULL + 3037000493ULL;
        return state;
    }
};

} // namespace

void interpolateVolume(Pattern& pattern, int track, int from, std::optional<int> through)
{
    const auto extent = patternops::extentOf(pattern);
    const int lastRow = extent.rows - 1;
    const int end = (through && *through < lastRow) ? *through : lastRow;
    if (!extent.containsRow(from) || end < 0 || !extent.containsTrack(track) || end <= from) return;
    const auto first = pattern.cell(from, track).volume;
    const auto last = pattern.cell(end, track).volume;
    if (!first || !last) return;
    const double a = *first;
    const double b = *last;
    const int span = end - from;
    for (int i = 0; i <= span; ++i) {
        // Between two byte volumes the rounded value is again a byte volume.
        const double value = std::round((b - a) * (static_cast<double>(i) / span) + a);
        patternops::writeVolume(pattern, from + i, track, static_cast<std::uint8_t>(value));
    }
}

void humanize(Pattern& pattern, std::optional<CellRange> in, int amount, std::uint64_t seed)
{
    // A negative spread has no meaning (and no modulus); the tool only ever asks for a positive one.
    if (amount < 0) return;
    const auto area = patternops::workingRange(pattern, in);
    if (!area) return;
    HumanizeGenerator generator{seed};
    const std::uint64_t choices = 2 * static_cast<std::uint64_t>(amount) + 1;
    for (int row = area->startRow; row <= area->endRow; ++row) {
        for (int track = area->startTrack; track <= area->endTrack; ++track) {
            const auto& cell = pattern.cell(row, track);
            if (!cell.note) continue;
            const auto offset = static_cast<std::int64_t>(generator.next() % choices) - amount;
            const std::int64_t volume = std::int64_t{cell.volume.value_or(defaultNoteVolume)} + offset;
            patternops::writeVolume(pattern, row, track, static_cast<std::uint8_t>(std::clamp<std::int64_t>(volume, 1, 64)));
        }
    }
}

void accent(Pattern& pattern, std::optional<CellRange> in)
{
    const auto area = patternops::workingRange(pattern, in);
    if (!area) return;
    for (int row = area->startRow; row <= area->endRow; ++row) {
        const std::uint8_t level = row % 16 == 0 ? 64 : row % 4 == 0 ? 52 : 40;
        for (int track = area->startTrack; track <= area->endTrack; ++track) {
            if (pattern.cell(row, track).note) patternops::writeVolume(pattern, row, track, level);
        }
    }
}

} // namespace veltrane
