#include "VeltraneCore/MIDIRealtime/SongPosition.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace veltrane {

namespace {

struct SongPass {
    int pattern;
    int repeats;
};

std::vector<SongPass> songBlocks(const Project& project)
{
    std::vector<SongPass> blocks;
    if (project.arrangement) {
        for (const auto& block : project.arrangement->blocks) blocks.push_back({block.pattern, block.repeats});
    } else {
        for (const int pattern : project.order) blocks.push_back({pattern, 1});
    }
    return blocks;
}

/// The row count of a block's pattern; nothing for an index outside the patterns.
std::optional<std::int64_t> patternRows(const Project& project, int pattern)
{
    if (pattern < 0 || static_cast<std::size_t>(pattern) >= project.patterns.size()) return std::nullopt;
    return std::max(project.patterns[static_cast<std::size_t>(pattern)].rows, 0);
}

// Row counts are kept in 64 bits and held below 2^60: a real song is far inside that, and a document
// with absurd sizes or repeat counts saturates instead of overflowing (the result is held to an Int anyway).
constexpr std::int64_t rowCountLimit = std::int64_t{1} << 60;

std::int64_t blockSpan(std::int64_t rows, int repeats) { return std::min(rows * std::max(repeats, 1), rowCountLimit); }

int toInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

} // namespace

SongLocation songLocation(int forSongPosition, const Project& project)
{
    // A negative rows-per-beat would walk backwards into negative rows; it counts as 0 here.
    std::int64_t rows = std::int64_t{std::max(forSongPosition, 0)} * std::max(project.rowsPerBeat, 0) / 4;
    const auto blocks = songBlocks(project);
    for (std::size_t index = 0; index < blocks.size(); ++index) {
        const auto length = patternRows(project, blocks[index].pattern);
        if (!length) continue;
        const auto span = blockSpan(*length, blocks[index].repeats);
        if (rows < span) return {static_cast<int>(index), static_cast<int>(rows % *length)};
        rows -= span;
    }
    if (blocks.empty()) return {};
    const auto last = patternRows(project, blocks.back().pattern);
    if (!last) return {};
    return {static_cast<int>(blocks.size() - 1), static_cast<int>(std::max<std::int64_t>(*last - 1, 0))};
}

int midiSongPosition(int block, int row, const Project& project)
{
    const auto blocks = songBlocks(project);
    if (blocks.empty()) return 0;
    const auto target = static_cast<std::size_t>(std::clamp(block, 0, static_cast<int>(blocks.size()) - 1));
    std::int64_t rows = 0;
    for (std::size_t index = 0; index < target; ++index) {
        if (const auto length = patternRows(project, blocks[index].pattern)) {
            rows = std::min(rows + blockSpan(*length, blocks[index].repeats), rowCountLimit);
        }
    }
    if (const auto length = patternRows(project, blocks[target].pattern)) {
        rows += std::clamp<std::int64_t>(row, 0, std::max<std::int64_t>(*length - 1, 0));
    }
    return toInt(rows * 4 / std::max(project.rowsPerBeat, 1));
}

} // namespace veltrane
