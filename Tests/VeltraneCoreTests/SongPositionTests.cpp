#include "VeltraneCore/MIDIRealtime/SongPosition.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace veltrane;

namespace {

/// Patterns of the given lengths and a song of (pattern, repeats) blocks.
Project song(const std::vector<int>& patternRows, const std::vector<std::pair<int, int>>& blocks, int rowsPerBeat = 4)
{
    Project project;
    project.rowsPerBeat = rowsPerBeat;
    project.patterns.clear();
    for (const int rows : patternRows) project.patterns.emplace_back("P", rows, 1);
    project.arrangement->blocks.clear();
    for (const auto& [pattern, repeats] : blocks) project.arrangement->blocks.push_back({.pattern = pattern, .repeats = repeats});
    return project;
}

std::string show(const SongLocation& location)
{
    return "(" + std::to_string(location.block) + ", " + std::to_string(location.row) + ")";
}

} // namespace

TEST(SongPosition, FindsTheBlockAndRowOfAPosition)
{
    const auto twoBlocks = song({64, 64}, {{0, 2}, {1, 1}});
    const auto halfTime = song({64, 64}, {{0, 2}, {1, 1}}, 2);
    const auto skipsInvalid = song({16, 8}, {{5, 1}, {0, 1}, {-1, 3}, {1, 1}});
    const auto invalidLast = song({16}, {{0, 1}, {9, 1}});
    const auto zeroRepeats = song({16, 16}, {{0, 0}, {1, -3}});
    const auto empty = song({16}, {});
    auto withoutArrangement = song({16, 32}, {});
    withoutArrangement.arrangement.reset();
    withoutArrangement.order = {1, 0, 1};
    struct Case {
        const char* name;
        const Project& project;
        int position;
        SongLocation expected;
    };
    const Case cases[] = {
        {"start", twoBlocks, 0, {0, 0}},
        {"second pass of the first block", twoBlocks, 70, {0, 6}},
        {"start of the second block", twoBlocks, 128, {1, 0}},
        {"past the end", twoBlocks, 1000, {1, 63}},
        {"negative", twoBlocks, -5, {0, 0}},
        {"INT_MIN", twoBlocks, INT_MIN, {0, 0}},
        {"INT_MAX", twoBlocks, INT_MAX, {1, 63}},
        {"two rows per beat, truncated", halfTime, 5, {0, 2}},
        {"invalid blocks add no rows", skipsInvalid, 20, {3, 4}},
        {"invalid first block is passed over", skipsInvalid, 0, {1, 0}},
        {"past the end with an invalid last block", invalidLast, 100, {0, 0}},
        {"repeats below 1 play once", zeroRepeats, 20, {1, 4}},
        {"repeats below 1 past the end", zeroRepeats, 40, {1, 15}},
        {"empty song", empty, 10, {0, 0}},
        {"order without arrangement", withoutArrangement, 40, {1, 8}},
        {"order without arrangement, third entry", withoutArrangement, 50, {2, 2}},
    };
    for (const auto& c : cases) {
        const auto location = songLocation(c.position, c.project);
        EXPECT_EQ(location, c.expected) << c.name << ": got " << show(location);
    }
}

TEST(SongPosition, GivesThePositionOfABlockAndRow)
{
    const auto twoBlocks = song({64, 64}, {{0, 2}, {1, 1}});
    const auto halfTime = song({64, 64}, {{0, 2}, {1, 1}}, 2);
    const auto skipsInvalid = song({16, 8}, {{5, 1}, {0, 1}, {-1, 3}, {1, 1}});
    const auto zeroRepeats = song({16, 16}, {{0, 0}, {1, -3}});
    const auto badRowsPerBeat = song({64}, {{0, 1}}, 0);
    const auto huge = song({256, 256, 256}, {{0, INT_MAX}, {1, INT_MAX}, {2, INT_MAX}});
    const auto empty = song({16}, {});
    struct Case {
        const char* name;
        const Project& project;
        int block;
        int row;
        int expected;
    };
    const Case cases[] = {
        {"second block, row 8", twoBlocks, 1, 8, 136},
        {"first row", twoBlocks, 0, 0, 0},
        {"two rows per beat", halfTime, 0, 3, 6},
        {"negative row", twoBlocks, 0, -4, 0},
        {"row past the pattern", twoBlocks, 0, 500, 63},
        {"block past the end", twoBlocks, 7, 1, 129},
        {"negative block", twoBlocks, -2, 5, 5},
        {"invalid blocks add no rows", skipsInvalid, 3, 4, 20},
        {"row of an invalid block", skipsInvalid, 2, 4, 16},
        {"repeats below 1 count once", zeroRepeats, 1, 0, 16},
        {"rows per beat below 1 count as 1", badRowsPerBeat, 0, 10, 40},
        {"too long a song saturates", huge, 2, 0, INT_MAX},
        {"empty song", empty, 0, 3, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(midiSongPosition(c.block, c.row, c.project), c.expected) << c.name;
}

TEST(SongPosition, ConvertingARowToAPositionAndBackFindsItAgain)
{
    // With four rows per beat every row has its own position; a row of a repeated block comes back in
    // its first pass.
    const auto project = song({16, 8, 32}, {{0, 2}, {2, 1}, {7, 4}, {1, 3}, {0, 1}});
    const int blocks = static_cast<int>(project.arrangement->blocks.size());
    for (int block = 0; block < blocks; ++block) {
        const int pattern = project.arrangement->blocks[static_cast<std::size_t>(block)].pattern;
        if (pattern >= static_cast<int>(project.patterns.size())) continue;
        for (int row = 0; row < project.patterns[static_cast<std::size_t>(pattern)].rows; ++row) {
            const auto position = midiSongPosition(block, row, project);
            EXPECT_EQ(songLocation(position, project), (SongLocation{block, row})) << block << ", " << row;
        }
    }
}
