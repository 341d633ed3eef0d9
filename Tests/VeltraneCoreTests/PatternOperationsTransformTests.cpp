#include "PatternOperationsTestSupport.hpp"

#include "VeltraneCore/PatternOperations/PatternOperations.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace veltrane;
using namespace veltrane::testing;

TEST(PatternTranspose, MovesPitchesThatStayInRangeAndLeavesTheRestAlone)
{
    struct Case {
        int pitch;
        int semitones;
        int expected;
    };
    const Case cases[] = {
        {120, 12, 120}, {5, -12, 5},  {60, -60, 0},       {60, 67, 127},      {60, 68, 60},
        {64, 3, 67},    {0, -1, 0},   {60, INT_MAX, 60},  {60, INT_MIN, 60},  {127, 0, 127},
    };
    for (const auto& [pitch, semitones, expected] : cases) {
        Pattern pattern("P", 4, 2);
        pattern.setCell(1, 1, Cell{.note = NotePitch{pitch}, .instrument = 3, .volume = 20});
        transpose(pattern, semitones);
        EXPECT_EQ(pattern.cell(1, 1), (Cell{.note = NotePitch{expected}, .instrument = 3, .volume = 20}))
            << pitch << " by " << semitones;
    }
}

TEST(PatternTranspose, TouchesOnlyPitchesInsideTheRange)
{
    Pattern pattern("P", 8, 2);
    for (int r = 0; r < 8; ++r) pattern.setCell(r, 0, noteCell(60));
    pattern.setCell(2, 1, Cell{.note = NoteOff{}});
    pattern.setCell(3, 1, Cell{.note = NoteTie{}});
    pattern.setCell(4, 1, Cell{.volume = 30});
    const auto before = pattern;
    transpose(pattern, 5, CellRange{2, 0, 4, 1});
    for (int r = 0; r < 8; ++r) EXPECT_EQ(pitchAt(pattern, r, 0), r >= 2 && r <= 4 ? 65 : 60) << "row " << r;
    for (int r = 0; r < 8; ++r) EXPECT_EQ(pattern.cell(r, 1), before.cell(r, 1)) << "row " << r;
}

TEST(PatternTranspose, UpThenDownRestoresEveryPatternWhereNothingHitTheEdge)
{
    std::mt19937 random(20240611);
    for (int trial = 0; trial < 200; ++trial) {
        const int semitones = std::uniform_int_distribution(-30, 30)(random);
        // Every pitch can move by the shift, so both moves go through and the second undoes the first.
        std::uniform_int_distribution movablePitch(std::max(0, -semitones), std::min(127, 127 - semitones));
        const int rows = std::uniform_int_distribution(1, 64)(random);
        const int channels = std::uniform_int_distribution(1, 8)(random);
        Pattern pattern("P", rows, channels);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < channels; ++c) {
                switch (std::uniform_int_distribution(0, 4)(random)) {
                case 0: pattern.setCell(r, c, Cell{.note = NoteOff{}}); break;
                case 1: pattern.setCell(r, c, Cell{.note = NoteTie{}}); break;
                case 2: break;
                default: pattern.setCell(r, c, noteCell(movablePitch(random), 40));
                }
            }
        }
        const CellRange range{std::uniform_int_distribution(-4, rows)(random),
                              std::uniform_int_distribution(-1, channels)(random),
                              std::uniform_int_distribution(-4, rows + 4)(random),
                              std::uniform_int_distribution(-1, channels + 1)(random)};
        auto moved = pattern;
        transpose(moved, semitones, range);
        const auto area = clipped(pattern, range);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < channels; ++c) {
                const bool inside = r >= area.startRow && r <= area.endRow && c >= area.startTrack && c <= area.endTrack;
                const int pitch = pitchAt(pattern, r, c);
                EXPECT_EQ(pitchAt(moved, r, c), pitch >= 0 && inside ? pitch + semitones : pitch);
            }
        }
        transpose(moved, -semitones, range);
        EXPECT_EQ(moved, pattern) << "trial " << trial << ", " << semitones << " semitones";
    }
}

TEST(PatternRotation, RotatesWholeCellsOfEachTrackWithinTheRange)
{
    struct Case {
        int offset;
        std::vector<int> rowAtPosition; // which original row ends up at positions 0 to 3
    };
    const Case cases[] = {
        {1, {3, 0, 1, 2}}, {5, {3, 0, 1, 2}},  {-1, {1, 2, 3, 0}}, {2, {2, 3, 0, 1}},
        {4, {0, 1, 2, 3}}, {0, {0, 1, 2, 3}},  {-4, {0, 1, 2, 3}}, {INT_MIN, {0, 1, 2, 3}}, {INT_MAX, {1, 2, 3, 0}},
    };
    for (const auto& [offset, rowAtPosition] : cases) {
        const auto original = markedPattern(8, 3);
        auto pattern = original;
        rotateRows(pattern, offset, CellRange{2, 0, 5, 1});
        for (int i = 0; i < 4; ++i) {
            for (int c = 0; c < 2; ++c) {
                EXPECT_EQ(pattern.cell(2 + i, c), markedCell(2 + rowAtPosition[static_cast<std::size_t>(i)], c))
                    << "offset " << offset << ", position " << i;
            }
        }
        for (int r = 0; r < 8; ++r) {
            EXPECT_EQ(pattern.cell(r, 2), original.cell(r, 2)); // the track outside the range
            if (r < 2 || r > 5) {
                EXPECT_EQ(pattern.cell(r, 0), original.cell(r, 0));
            }
        }
    }
}

TEST(PatternRotation, AWholePatternRotatesAndASingleRowStays)
{
    auto pattern = markedPattern(4, 1);
    rotateRows(pattern, 1);
    EXPECT_EQ(pattern.cell(0, 0), markedCell(3, 0));
    EXPECT_EQ(pattern.cell(1, 0), markedCell(0, 0));

    const auto original = markedPattern(4, 2);
    auto single = original;
    rotateRows(single, 1, CellRange{2, 0, 2, 1});
    rotateRows(single, 3, CellRange{90, 0, 99, 1}); // collapses onto the last row alone
    EXPECT_TRUE(single.cells.sharesStorageWith(original.cells));
}

TEST(PatternDoubling, AppendsACopyUpTo256Rows)
{
    struct Case {
        int rows;
        int expectedRows;
    };
    const Case cases[] = {{64, 128}, {1, 2}, {128, 256}, {200, 256}, {255, 256}, {256, 256}};
    for (const auto& [rows, expectedRows] : cases) {
        auto pattern = markedPattern(rows, 2);
        const auto id = pattern.id;
        doubleLength(pattern);
        ASSERT_EQ(pattern.rows, expectedRows) << rows;
        ASSERT_TRUE(pattern.hasConsistentGrid()) << rows;
        EXPECT_EQ(pattern.id, id);
        EXPECT_EQ(pattern.name, "Marked");
        for (int r = 0; r < expectedRows; ++r) {
            const int source = r < rows ? r : r - rows;
            EXPECT_EQ(pattern.cells.row(r)[1], markedCell(source, 1)) << rows << " rows, row " << r;
        }
    }
}

TEST(PatternDoubling, KeepsTheOldRowsSharedAndTheOriginalUntouched)
{
    Pattern original("P", 64, 8);
    original.setCell(3, 2, noteCell(60));
    auto doubled = original;
    doubleLength(doubled);
    EXPECT_EQ(doubled.cell(67, 2), noteCell(60));
    EXPECT_EQ(doubled.cell(68, 2), Cell{});
    EXPECT_EQ(original.rows, 64);
    EXPECT_EQ(original.cells.rowCount(), 64);
    for (int r = 0; r < 64; ++r) EXPECT_TRUE(doubled.cells.sharesRowWith(original.cells, r)) << "row " << r;
}

TEST(PatternResizing, ClampsTheSizeAndKeepsCellsInPlace)
{
    struct Case {
        std::optional<int> rows;
        std::optional<int> channels;
        int expectedRows;
        int expectedChannels;
    };
    const Case cases[] = {
        {std::nullopt, 4, 64, 4}, {0, std::nullopt, 1, 8},   {300, std::nullopt, 256, 8}, {std::nullopt, 40, 64, 32},
        {-5, -5, 1, 1},           {INT_MAX, INT_MIN, 256, 1}, {32, 12, 32, 12},            {std::nullopt, std::nullopt, 64, 8},
    };
    for (const auto& [rows, channels, expectedRows, expectedChannels] : cases) {
        auto pattern = markedPattern(64, 8);
        resize(pattern, rows, channels);
        ASSERT_EQ(pattern.rows, expectedRows);
        ASSERT_EQ(pattern.channels, expectedChannels);
        ASSERT_TRUE(pattern.hasConsistentGrid());
        for (int r = 0; r < expectedRows; ++r) {
            for (int c = 0; c < expectedChannels; ++c) {
                EXPECT_EQ(pattern.cell(r, c), r < 64 && c < 8 ? markedCell(r, c) : Cell{})
                    << expectedRows << "x" << expectedChannels << " at " << r << "," << c;
            }
        }
    }
}
