#include "PatternOperationsTestSupport.hpp"

#include "VeltraneCore/PatternOperations/PatternOperations.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// One track of 8 rows with the given volumes (-1: none); a note on every row whose `notes` entry is set.
Pattern trackWithVolumes(const std::vector<int>& volumes)
{
    Pattern pattern("P", static_cast<int>(volumes.size()), 2);
    for (int r = 0; r < pattern.rows; ++r) {
        const int volume = volumes[static_cast<std::size_t>(r)];
        if (volume >= 0) pattern.setCell(r, 0, Cell{.volume = static_cast<std::uint8_t>(volume)});
    }
    return pattern;
}

} // namespace

TEST(VolumeInterpolation, RampsBetweenTheEndVolumes)
{
    struct Case {
        const char* name;
        std::vector<int> volumes;
        int track;
        int from;
        std::optional<int> through;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"rising", {0, -1, -1, -1, 64, -1}, 0, 0, 4, {0, 16, 32, 48, 64, -1}},
        {"halves round up", {10, -1, -1, -1, 11, -1}, 0, 0, 4, {10, 10, 11, 11, 11, -1}},
        {"falling", {-1, 64, 5, 5, 0, 9}, 0, 1, 4, {-1, 64, 43, 21, 0, 9}},
        {"to the last row", {-1, 20, -1, -1, -1, 40}, 0, 1, std::nullopt, {-1, 20, 25, 30, 35, 40}},
        {"past the end is the last row", {-1, 20, -1, -1, -1, 40}, 0, 1, 1000, {-1, 20, 25, 30, 35, 40}},
        {"no volume at the start", {-1, -1, 3, -1, 64, -1}, 0, 0, 4, {-1, -1, 3, -1, 64, -1}},
        {"no volume at the end", {8, -1, 3, -1, -1, -1}, 0, 0, 4, {8, -1, 3, -1, -1, -1}},
        {"end equal to start", {8, -1, 3, -1, 5, -1}, 0, 2, 2, {8, -1, 3, -1, 5, -1}},
        {"end before start", {8, -1, 3, -1, 5, -1}, 0, 4, 0, {8, -1, 3, -1, 5, -1}},
        {"negative end", {8, -1, 3, -1, 5, -1}, 0, 0, -3, {8, -1, 3, -1, 5, -1}},
        {"negative start", {8, -1, 3, -1, 5, -1}, 0, -1, 4, {8, -1, 3, -1, 5, -1}},
        {"start past the end", {8, -1, 3, -1, 5, -1}, 0, 6, std::nullopt, {8, -1, 3, -1, 5, -1}},
        {"track past the last", {8, -1, 3, -1, 5, -1}, 2, 0, 4, {8, -1, 3, -1, 5, -1}},
        {"negative track", {8, -1, 3, -1, 5, -1}, -1, 0, 4, {8, -1, 3, -1, 5, -1}},
        {"start at INT_MIN", {8, -1, 3, -1, 5, -1}, 0, INT_MIN, INT_MAX, {8, -1, 3, -1, 5, -1}},
    };
    for (const auto& testCase : cases) {
        auto pattern = trackWithVolumes(testCase.volumes);
        interpolateVolume(pattern, testCase.track, testCase.from, testCase.through);
        EXPECT_EQ(volumesOfTrack(pattern, 0), testCase.expected) << testCase.name;
        EXPECT_EQ(volumesOfTrack(pattern, 1), std::vector<int>(testCase.volumes.size(), -1)) << testCase.name;
    }
}

TEST(VolumeInterpolation, ChangesOnlyVolumes)
{
    Pattern pattern("P", 3, 1);
    pattern.setCell(0, 0, Cell{.volume = 0});
    pattern.setCell(1, 0, markedCell(1, 0));
    pattern.setCell(2, 0, Cell{.volume = 64});
    interpolateVolume(pattern, 0, 0, 2);
    auto expected = markedCell(1, 0);
    expected.volume = 32;
    EXPECT_EQ(pattern.cell(1, 0), expected);
}

TEST(Humanize, GivesTheSameVolumesForASeed)
{
    Pattern pattern("P", 4, 1);
    pattern.setCell(0, 0, noteCell(60, 64));
    pattern.setCell(1, 0, noteCell(60));
    pattern.setCell(2, 0, noteCell(60, 40));
    pattern.setCell(3, 0, noteCell(60, 1));
    humanize(pattern, std::nullopt, 6, 1);
    EXPECT_EQ(volumesOfTrack(pattern, 0), (std::vector<int>{59, 58, 42, 1}));
}

TEST(Humanize, StaysWithinTheAmountAndSkipsCellsWithoutNotes)
{
    Pattern pattern("P", 64, 4);
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 4; ++c) {
            Cell cell = (r + c) % 3 == 0 ? Cell{.volume = 30} : Cell{.note = NotePitch{60}};
            if ((r + c) % 5 == 0) cell.note = NoteOff{};
            if ((r + c) % 7 == 0) cell.note = NoteTie{};
            if ((r * c) % 4 != 1) cell.volume = static_cast<std::uint8_t>((r * 7 + c * 13) % 65);
            pattern.setCell(r, c, cell);
        }
    }
    for (const std::uint64_t seed : {0ULL, 1ULL, 42ULL, ~0ULL}) {
        auto humanized = pattern;
        humanize(humanized, std::nullopt, 6, seed);
        auto again = pattern;
        humanize(again, std::nullopt, 6, seed);
        EXPECT_EQ(humanized, again) << "seed " << seed;
        for (int r = 0; r < 64; ++r) {
            for (int c = 0; c < 4; ++c) {
                const auto& before = pattern.cell(r, c);
                const auto& after = humanized.cell(r, c);
                if (!before.note) {
                    EXPECT_EQ(after, before);
                    continue;
                }
                ASSERT_TRUE(after.volume);
                EXPECT_GE(*after.volume, 1);
                EXPECT_LE(*after.volume, 64);
                const int centre = std::clamp<int>(before.volume.value_or(52), 1, 64);
                EXPECT_LE(std::abs(*after.volume - centre), 6) << r << "," << c;
                auto volumeOnly = before;
                volumeOnly.volume = after.volume;
                EXPECT_EQ(after, volumeOnly);
            }
        }
    }
}

TEST(Humanize, AmountZeroOnlyFillsMissingAndSilentVolumes)
{
    Pattern pattern("P", 4, 1);
    pattern.setCell(0, 0, noteCell(60, 0));
    pattern.setCell(1, 0, noteCell(60));
    pattern.setCell(2, 0, noteCell(60, 33));
    pattern.setCell(3, 0, Cell{.volume = 0}); // no note: untouched
    humanize(pattern, std::nullopt, 0, 99);
    EXPECT_EQ(volumesOfTrack(pattern, 0), (std::vector<int>{1, 52, 33, 0}));
}

TEST(Humanize, WorksOnTheClippedRangeAndIgnoresANegativeAmount)
{
    const auto original = markedPattern(16, 4);
    auto pattern = original;
    humanize(pattern, CellRange{4, 1, 5, 2}, 6, 7);
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 4; ++c) {
            const bool inside = r >= 4 && r <= 5 && c >= 1 && c <= 2;
            if (!inside) {
                EXPECT_EQ(pattern.cell(r, c), original.cell(r, c)) << r << "," << c;
            }
        }
    }
    EXPECT_NE(pattern, original);

    auto negative = original;
    humanize(negative, std::nullopt, -3, 7);
    EXPECT_TRUE(negative.cells.sharesStorageWith(original.cells));

    auto huge = original;
    humanize(huge, std::nullopt, INT_MAX, 7);
    for (int r = 0; r < 16; ++r) {
        const auto volume = huge.cell(r, 0).volume;
        ASSERT_TRUE(volume);
        EXPECT_TRUE(*volume >= 1 && *volume <= 64);
    }
}

TEST(Accent, SetsTheLevelOfEachRowsPlaceInTheBar)
{
    Pattern pattern("P", 64, 3);
    for (int r = 0; r < 64; ++r) {
        pattern.setCell(r, 0, noteCell(60, 10));
        pattern.setCell(r, 1, Cell{.note = r % 2 ? StepNote{NoteOff{}} : StepNote{NoteTie{}}});
        pattern.setCell(r, 2, Cell{.volume = 10});
    }
    auto whole = pattern;
    accent(whole);
    for (int r = 0; r < 64; ++r) {
        const int level = r % 16 == 0 ? 64 : r % 4 == 0 ? 52 : 40;
        EXPECT_EQ(volumesOfTrack(whole, 0)[static_cast<std::size_t>(r)], level) << r;
        EXPECT_EQ(volumesOfTrack(whole, 1)[static_cast<std::size_t>(r)], level) << r;
        EXPECT_EQ(volumesOfTrack(whole, 2)[static_cast<std::size_t>(r)], 10) << r;
    }

    auto part = pattern;
    accent(part, CellRange{5, 0, 8, 0});
    const auto volumes = volumesOfTrack(part, 0);
    EXPECT_EQ(std::vector<int>(volumes.begin() + 4, volumes.begin() + 10), (std::vector<int>{10, 40, 40, 40, 52, 10}));
    EXPECT_EQ(volumesOfTrack(part, 1), volumesOfTrack(pattern, 1));
}
