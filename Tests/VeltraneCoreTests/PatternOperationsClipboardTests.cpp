#include "PatternOperationsTestSupport.hpp"

#include "VeltraneCore/PatternOperations/PatternOperations.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::string describe(const CellRange& r)
{
    return "rows " + std::to_string(r.startRow) + "-" + std::to_string(r.endRow) + ", tracks " +
           std::to_string(r.startTrack) + "-" + std::to_string(r.endTrack);
}

} // namespace

TEST(CellRangeOrdering, PutsTheSmallerCornerFirstOnEachAxis)
{
    EXPECT_EQ(orderedCellRange(9, 3, 2, 1), (CellRange{2, 1, 9, 3}));
    EXPECT_EQ(orderedCellRange(2, 3, 9, 1), (CellRange{2, 1, 9, 3}));
    EXPECT_EQ(orderedCellRange(4, 4, 4, 4), (CellRange{4, 4, 4, 4}));
}

TEST(PatternClipping, ClampsEachCornerIntoThePatternAndNeverEmpties)
{
    const Pattern pattern("P", 64, 8);
    struct Case {
        CellRange given;
        CellRange expected;
    };
    const Case cases[] = {
        {{-5, 2, 3, 40}, {0, 2, 3, 7}},
        {{70, 0, 80, 0}, {63, 0, 63, 0}},         // wholly past the end: the last row
        {{100, 1, 120, 2}, {63, 1, 63, 2}},
        {{-9, 0, -2, 0}, {0, 0, 0, 0}},           // wholly before the start: row 0
        {{9, 3, 2, 1}, {2, 1, 9, 3}},             // corners in reverse order
        {{80, 9, -3, -1}, {0, 0, 63, 7}},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 63, 7}},
        {{0, 0, 63, 7}, {0, 0, 63, 7}},
    };
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(clipped(pattern, given), expected) << describe(given);
    }
}

TEST(PatternClipboard, CopyTakesWholeCellsOfTheClippedRange)
{
    const auto pattern = markedPattern(64, 8);
    const auto block = copy(pattern, orderedCellRange(5, 3, 4, 1));
    ASSERT_EQ(block.cells.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(block.cells[static_cast<std::size_t>(i)].size(), 3u);
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(block.cells[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)], markedCell(4 + i, 1 + j));
        }
    }
    // A range wholly outside still copies the nearest cell.
    EXPECT_EQ(copy(pattern, {200, 20, 300, 30}).cells, (std::vector<std::vector<Cell>>{{markedCell(63, 7)}}));
}

TEST(PatternClipboard, PasteWritesOnlyWhatLandsInsideThePattern)
{
    const CellBlock block{{{noteCell(1), noteCell(2), noteCell(3)}, {noteCell(4), noteCell(5), noteCell(6)}}};
    struct Case {
        const char* name;
        CellBlock block;
        int row;
        int track;
        std::vector<std::tuple<int, int, int>> written; // row, track, pitch
    };
    const Case cases[] = {
        {"inside", block, 10, 2, {{10, 2, 1}, {10, 3, 2}, {10, 4, 3}, {11, 2, 4}, {11, 3, 5}, {11, 4, 6}}},
        {"bottom right corner", block, 63, 6, {{63, 6, 1}, {63, 7, 2}}},
        {"above and left", block, -1, -2, {{0, 0, 6}}},
        {"ragged rows", CellBlock{{{noteCell(1)}, {noteCell(4), noteCell(5)}}}, 0, 0, {{0, 0, 1}, {1, 0, 4}, {1, 1, 5}}},
        {"empty block", CellBlock{}, 0, 0, {}},
        {"empty rows", CellBlock{{{}, {}}}, 0, 0, {}},
        {"far below", block, INT_MAX, 0, {}},
        {"far right", block, 0, INT_MAX, {}},
        {"far above and left", block, INT_MIN, INT_MIN, {}},
    };
    for (const auto& testCase : cases) {
        const auto original = markedPattern(64, 8);
        auto pattern = original;
        paste(pattern, testCase.block, testCase.row, testCase.track);
        auto expected = original;
        for (const auto& [row, track, pitch] : testCase.written) expected.setCell(row, track, noteCell(pitch));
        EXPECT_EQ(pattern, expected) << testCase.name;
    }
}

TEST(PatternClipboard, CopyThenPasteReproducesTheRangeElsewhere)
{
    auto pattern = markedPattern(16, 4);
    const auto block = copy(pattern, {0, 0, 3, 1});
    paste(pattern, block, 8, 2);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 2; ++c) EXPECT_EQ(pattern.cell(8 + r, 2 + c), markedCell(r, c));
    }
    EXPECT_EQ(pattern.cell(8, 0), markedCell(8, 0));
}

TEST(PatternClipboard, ClearEmptiesTheClippedRangeOnly)
{
    struct Case {
        CellRange range;
        CellRange cleared;
    };
    const Case cases[] = {
        {{2, 1, 3, 2}, {2, 1, 3, 2}},
        {{70, 0, 80, 7}, {63, 0, 63, 7}}, // past the end: the last row
        {{-4, 6, -1, 100}, {0, 6, 0, 7}},
    };
    for (const auto& [range, cleared] : cases) {
        auto pattern = markedPattern(64, 8);
        clear(pattern, range);
        for (int r = 0; r < 64; ++r) {
            for (int c = 0; c < 8; ++c) {
                const bool inside = r >= cleared.startRow && r <= cleared.endRow && c >= cleared.startTrack &&
                                    c <= cleared.endTrack;
                EXPECT_EQ(pattern.cell(r, c), inside ? Cell{} : markedCell(r, c))
                    << describe(range) << " at " << r << "," << c;
            }
        }
    }
}

TEST(PatternClipboard, EditsCopyOnlyTheRowsTheyChange)
{
    const auto original = markedPattern(32, 4);
    auto edited = original;
    clear(edited, {5, 0, 6, 3});
    paste(edited, CellBlock{{{noteCell(99)}}}, 20, 1);
    for (int r = 0; r < 32; ++r) {
        const bool changed = r == 5 || r == 6 || r == 20;
        EXPECT_EQ(edited.cells.sharesRowWith(original.cells, r), !changed) << "row " << r;
    }
    EXPECT_EQ(original.cells, markedPattern(32, 4).cells); // the copy's edits never show in the original

    // Writing what a cell already holds leaves its row shared.
    auto same = original;
    clear(same, {0, 0, 31, 3});
    auto cleared = same;
    clear(cleared, {0, 0, 31, 3});
    paste(cleared, CellBlock{{{Cell{}}}}, 3, 3);
    EXPECT_TRUE(cleared.cells.sharesStorageWith(same.cells));
}

TEST(PatternClipboard, PatternsWithoutCellsOrWithAShortGridAreLeftAlone)
{
    Pattern empty("Empty", 0, 8);
    EXPECT_TRUE(copy(empty, {0, 0, 5, 5}).cells.empty());
    clear(empty, {0, 0, 5, 5});
    paste(empty, CellBlock{{{noteCell(60)}}}, 0, 0);
    EXPECT_EQ(empty.cells.rowCount(), 0);

    // A pattern that states more rows than its grid holds (as a damaged file may): only real cells are used.
    auto shortGrid = markedPattern(2, 2);
    shortGrid.rows = 64;
    shortGrid.channels = 8;
    EXPECT_EQ(clipped(shortGrid, {0, 0, 63, 7}), (CellRange{0, 0, 1, 1}));
    clear(shortGrid, {0, 0, 63, 7});
    paste(shortGrid, CellBlock{{{noteCell(60), noteCell(61), noteCell(62)}}}, 1, 0);
    EXPECT_EQ(shortGrid.cell(0, 0), Cell{});
    EXPECT_EQ(shortGrid.cell(1, 1), noteCell(61));
}
