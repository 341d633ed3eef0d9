#include "PatternOperationsTestSupport.hpp"

#include "VeltraneCore/PatternOperations/PatternOperations.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Cell generated(int pitch, int instrument, int volume)
{
    return Cell{.note = NotePitch{pitch}, .instrument = instrument, .volume = static_cast<std::uint8_t>(volume)};
}

/// The rows of `track` that differ from the marked pattern they were made from.
std::vector<int> changedRows(const Pattern& pattern, int track)
{
    std::vector<int> rows;
    for (int r = 0; r < pattern.rows; ++r) {
        if (pattern.cell(r, track) != markedCell(r, track)) rows.push_back(r);
    }
    return rows;
}

} // namespace

TEST(EuclideanFill, SpreadsThePulsesOverOneCycle)
{
    struct Case {
        int pulses;
        int steps;
        int patternRows;
        int startRow;
        std::vector<int> hits; // rows of the pattern
    };
    const Case cases[] = {
        {3, 8, 64, 0, {0, 3, 6}},
        {5, 8, 64, 0, {0, 2, 4, 5, 7}},
        {4, 16, 64, 0, {0, 4, 8, 12}},
        {7, 16, 64, 0, {0, 3, 5, 7, 10, 12, 14}},
        {5, 16, 64, 0, {0, 4, 7, 10, 13}},
        {2, 5, 64, 0, {0, 3}},
        {8, 8, 64, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
        {9, 4, 64, 0, {0, 1, 2, 3}},
        {3, 8, 64, 60, {60, 62, 63}},                 // only 4 rows left: spread over them
        {3, 8, 64, 10, {10, 13, 16}},
        {1, INT_MAX, 4, 0, {0}},
        {INT_MAX, 3, 16, 1, {1, 2, 3}},
    };
    for (const auto& [pulses, steps, patternRows, startRow, hits] : cases) {
        auto pattern = markedPattern(patternRows, 3);
        euclideanFill(pattern, 1, pulses, steps, 48, 2, startRow);
        EXPECT_EQ(changedRows(pattern, 1), hits) << pulses << " in " << steps << " from " << startRow;
        for (const int row : hits) EXPECT_EQ(pattern.cell(row, 1), generated(48, 2, 52));
        EXPECT_TRUE(changedRows(pattern, 0).empty());
        EXPECT_TRUE(changedRows(pattern, 2).empty());
    }
}

TEST(EuclideanFill, IgnoresArgumentsOutsideThePattern)
{
    struct Case {
        const char* name;
        int track, pulses, steps, note, instrument, startRow;
    };
    const Case cases[] = {
        {"no pulses", 0, 0, 8, 60, 0, 0},         {"no steps", 0, 3, 0, 60, 0, 0},
        {"track past the last", 4, 3, 8, 60, 0, 0}, {"negative track", -1, 3, 8, 60, 0, 0},
        {"start at the end", 0, 3, 8, 60, 0, 64}, {"negative start", 0, 3, 8, 60, 0, -2},
        {"start at INT_MIN", 0, 3, 8, 60, 0, INT_MIN}, {"pitch above 127", 0, 3, 8, 128, 0, 0},
        {"negative pitch", 0, 3, 8, -1, 0, 0},    {"negative instrument", 0, 3, 8, 60, -1, 0},
    };
    const auto original = markedPattern(64, 4);
    for (const auto& c : cases) {
        auto pattern = original;
        euclideanFill(pattern, c.track, c.pulses, c.steps, c.note, c.instrument, c.startRow);
        EXPECT_TRUE(pattern.cells.sharesStorageWith(original.cells)) << c.name;
    }
}

TEST(RandomFill, GivesTheSameMelodyForASeed)
{
    Pattern pattern("P", 8, 2);
    const std::vector<int> notes{60, 64, 67};
    randomFill(pattern, 1, 0.5, notes, 3, 1);
    const int pitches[] = {67, 67, 64, 67, 60, 67, 67, 64};
    const int volumes[] = {50, 48, 59, 58, 48, 48, 64, 61};
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(pattern.cell(r, 1), generated(pitches[r], 3, volumes[r])) << "row " << r;
        EXPECT_EQ(pattern.cell(r, 0), Cell{});
    }
}

TEST(RandomFill, SeedZeroStandsForTheGoldenRatioSeed)
{
    const std::vector<int> notes{36, 48, 55, 60, 63};
    auto zero = markedPattern(64, 2);
    auto golden = zero;
    auto other = zero;
    randomFill(zero, 0, 0.4, notes, 1, 0);
    randomFill(golden, 0, 0.4, notes, 1, 11400714819323198485ULL);
    randomFill(other, 0, 0.4, notes, 1, 2);
    EXPECT_EQ(zero, golden);
    EXPECT_NE(zero, other);
    const auto rows = changedRows(zero, 0);
    EXPECT_GT(rows.size(), 10u); // about 40 % of 64 rows
    EXPECT_LT(rows.size(), 40u);
    for (const int r : rows) {
        const auto& cell = zero.cell(r, 0);
        EXPECT_NE(std::find(notes.begin(), notes.end(), pitchAt(zero, r, 0)), notes.end());
        EXPECT_GE(*cell.volume, 40);
        EXPECT_LE(*cell.volume, 64);
    }
}

TEST(RandomFill, WritesNothingWithoutDensityNotesOrAValidTrack)
{
    const std::vector<int> notes{60, 64, 67};
    struct Case {
        const char* name;
        int track;
        double density;
        std::vector<int> notes;
        int instrument;
    };
    const Case cases[] = {
        {"density 0", 0, 0, notes, 0},
        {"negative density", 0, -1, notes, 0},
        {"NaN density", 0, std::numeric_limits<double>::quiet_NaN(), notes, 0},
        {"no notes", 0, 1, {}, 0},
        {"track past the last", 2, 1, notes, 0},
        {"negative track", -1, 1, notes, 0},
        {"negative instrument", 0, 1, notes, -4},
    };
    const auto original = markedPattern(32, 2);
    for (const auto& c : cases) {
        auto pattern = original;
        randomFill(pattern, c.track, c.density, c.notes, c.instrument, 1);
        EXPECT_TRUE(pattern.cells.sharesStorageWith(original.cells)) << c.name;
    }
}

TEST(RandomFill, RowsThatDrawAnImpossiblePitchStayWithoutShiftingTheRest)
{
    const std::vector<int> valid{60, 64, 67};
    const std::vector<int> withInvalid{60, 200, 67};
    auto reference = markedPattern(64, 1);
    auto pattern = reference;
    randomFill(reference, 0, 1, valid, 0, 5);
    randomFill(pattern, 0, 1, withInvalid, 0, 5);
    int skipped = 0;
    for (int r = 0; r < 64; ++r) {
        if (pitchAt(reference, r, 0) == 64) {
            EXPECT_EQ(pattern.cell(r, 0), markedCell(r, 0)) << "row " << r;
            ++skipped;
        } else {
            EXPECT_EQ(pattern.cell(r, 0), reference.cell(r, 0)) << "row " << r;
        }
    }
    EXPECT_GT(skipped, 0);
}

TEST(RandomFill, DensityOneFillsEveryRowOfTheTrack)
{
    const std::vector<int> notes{50};
    auto pattern = markedPattern(256, 2);
    randomFill(pattern, 1, 7.5, notes, 0, 123);
    EXPECT_EQ(changedRows(pattern, 1).size(), 256u);
    EXPECT_TRUE(changedRows(pattern, 0).empty());
}
