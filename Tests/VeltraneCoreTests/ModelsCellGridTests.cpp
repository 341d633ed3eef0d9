#include "VeltraneCore/Models/Pattern.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace veltrane;

namespace {

Cell pitchCell(int pitch) { return Cell{.note = NotePitch{pitch}}; }

CellGrid numberedGrid(int rows, int channels)
{
    CellGrid grid(rows, channels);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < channels; ++c) grid.set(r, c, pitchCell(r * 10 + c));
    }
    return grid;
}

} // namespace

TEST(CellGrid, ReadsAndWritesByRowAndChannel)
{
    auto grid = numberedGrid(3, 4);
    EXPECT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.channelCount(), 4);
    EXPECT_EQ(pitchOf(*grid(2, 3).note), 23);
    EXPECT_EQ(pitchOf(*grid[1][2].note), 12);
    EXPECT_EQ(grid.row(2).size(), 4u);
    EXPECT_THROW((void)grid.at(3, 0), std::out_of_range);
    EXPECT_THROW((void)grid.at(0, -1), std::out_of_range);

    for (auto& cell : grid.mutableRow(0)) cell.volume = 10;
    EXPECT_EQ(grid(0, 3).volume, 10);
    EXPECT_FALSE(grid(1, 0).volume);
}

TEST(CellGrid, CopiesShareStorageAndDetachOnTheFirstWrite)
{
    const auto original = numberedGrid(4, 2);
    struct Write {
        const char* name;
        void (*apply)(CellGrid&);
    };
    const Write writes[] = {
        {"set", [](CellGrid& g) { g.set(1, 1, pitchCell(99)); }},
        {"mutableCell", [](CellGrid& g) { g.mutableCell(1, 1) = pitchCell(99); }},
        {"mutableRow", [](CellGrid& g) { g.mutableRow(1)[1] = pitchCell(99); }},
    };
    for (const auto& write : writes) {
        SCOPED_TRACE(write.name);
        CellGrid copy = original;
        EXPECT_TRUE(copy.sharesStorageWith(original));
        EXPECT_EQ(copy, original);
        write.apply(copy);
        EXPECT_FALSE(copy.sharesStorageWith(original));
        EXPECT_FALSE(copy.sharesRowWith(original, 1));
        EXPECT_TRUE(copy.sharesRowWith(original, 0));
        EXPECT_TRUE(copy.sharesRowWith(original, 3));
        EXPECT_EQ(pitchOf(*copy(1, 1).note), 99);
        EXPECT_EQ(pitchOf(*original(1, 1).note), 11);
        EXPECT_NE(copy, original);
    }

    // A grid that shares with no one is written in place.
    CellGrid sole = numberedGrid(2, 2);
    const Cell* before = &sole(0, 0);
    sole.set(0, 0, pitchCell(1));
    EXPECT_EQ(&sole(0, 0), before);

    // The rows of a new grid start out as one shared empty row; writing one row leaves the others empty.
    CellGrid fresh(3, 2);
    fresh.set(1, 0, pitchCell(5));
    EXPECT_TRUE(fresh(0, 0).isEmpty());
    EXPECT_TRUE(fresh(2, 0).isEmpty());
    EXPECT_EQ(pitchOf(*fresh(1, 0).note), 5);
}

TEST(CellGrid, ResizeKeepsTheCellsThatStillFit)
{
    auto grid = numberedGrid(3, 3);
    const auto shared = grid;
    grid.resize(4, 2);
    EXPECT_EQ(grid.rowCount(), 4);
    EXPECT_EQ(grid.channelCount(), 2);
    EXPECT_EQ(pitchOf(*grid(2, 1).note), 21);
    EXPECT_TRUE(grid(3, 0).isEmpty());
    EXPECT_EQ(shared, numberedGrid(3, 3)); // the other copy keeps its shape and cells

    grid.resize(1, 5);
    EXPECT_EQ(pitchOf(*grid(0, 1).note), 1);
    EXPECT_TRUE(grid(0, 4).isEmpty());

    grid.resize(-1, 5);
    EXPECT_EQ(grid.rowCount(), 0);
    EXPECT_EQ(grid, CellGrid(0, 5));
}

TEST(CellGrid, EqualityNeedsTheSameShape)
{
    EXPECT_EQ(CellGrid(2, 3), CellGrid(2, 3));
    EXPECT_NE(CellGrid(2, 3), CellGrid(3, 2));
    EXPECT_NE(CellGrid(0, 3), CellGrid(0, 4));
    EXPECT_EQ(numberedGrid(2, 2), numberedGrid(2, 2)); // equal content in separate storage
}

TEST(CellGrid, ConvertsFromAndToListsOfRows)
{
    const auto grid = numberedGrid(2, 3);
    const auto rows = grid.toRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].size(), 3u);
    EXPECT_EQ(CellGrid::fromRows(rows), grid);

    auto jagged = rows;
    jagged[1].pop_back();
    EXPECT_FALSE(CellGrid::fromRows(jagged));
    EXPECT_EQ(CellGrid::fromRows({}), CellGrid());
}

TEST(Pattern, ConstructionFillsEmptyCellsAndStoresSizesAsGiven)
{
    const Pattern pattern("Verse", 16, 4);
    EXPECT_EQ(pattern.name, "Verse");
    EXPECT_EQ(pattern.cells.rowCount(), 16);
    EXPECT_EQ(pattern.cells.channelCount(), 4);
    EXPECT_TRUE(pattern.hasConsistentGrid());
    EXPECT_TRUE(pattern.cell(15, 3).isEmpty());
    EXPECT_NE(pattern.id, Pattern("Verse", 16, 4).id);

    const Pattern noRows("Empty", 0, 8);
    EXPECT_EQ(noRows.rows, 0);
    EXPECT_EQ(noRows.cells.rowCount(), 0);
    EXPECT_TRUE(noRows.cells.toRows().empty());

    Pattern mismatched("Bad", 4, 4);
    mismatched.rows = 5;
    EXPECT_FALSE(mismatched.hasConsistentGrid());
}
