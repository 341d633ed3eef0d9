// Which rows a playback lists, and when each of them starts and how long it lasts.

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using Frames = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Place {
    int pattern;
    std::optional<int> block;
    int row;
    friend bool operator==(const Place&, const Place&) = default;
};

std::vector<Place> places(const PlaybackTimeline& timeline)
{
    std::vector<Place> result;
    for (const auto& row : timeline.rows) result.push_back({row.patternIndex, row.orderPosition, row.row});
    return result;
}

std::vector<Place> passes(int pattern, std::optional<int> block, int firstRow, int rows)
{
    std::vector<Place> result;
    for (int row = firstRow; row < rows; ++row) result.push_back({pattern, block, row});
    return result;
}

std::vector<Place> operator+(std::vector<Place> a, const std::vector<Place>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Patterns A, B, C of 4, 2 and 3 rows.
Project threePatternSong(std::vector<SongBlock> blocks)
{
    auto project = timelineProject({Pattern("A", 4, 1), Pattern("B", 2, 1), Pattern("C", 3, 1)});
    project.arrangement->blocks = std::move(blocks);
    return project;
}

} // namespace

TEST(PlaybackTimelineRows, StraightRowsLastOneSixteenthNoteEach)
{
    const auto timeline = playbackTimeline(oneTrackProject(64), PatternScope{0}, 0, 0, kRate, false);
    ASSERT_EQ(timeline.rows.size(), 64u);
    for (std::size_t i = 0; i < timeline.rows.size(); ++i) {
        EXPECT_EQ(timeline.rows[i].startFrame, static_cast<std::int64_t>(i) * kRow);
        EXPECT_EQ(timeline.rows[i].durationFrames, kRow);
    }
    EXPECT_EQ(timeline.totalFrames, 384000);
    EXPECT_DOUBLE_EQ(timeline.duration(), 8.0);
    EXPECT_EQ(timeline.sampleRate, kRate);
}

TEST(PlaybackTimelineRows, SwingLengthensOddRowsAndShortensEvenOnes)
{
    struct Case {
        std::optional<double> swing;
        Frames expected;
    };
    const std::vector<Case> cases{
        {0.5, {{0, 4500}, {4500, 7500}, {12000, 4500}, {16500, 7500}}},
        {2.0, {{0, 3000}, {3000, 9000}, {12000, 3000}, {15000, 9000}}}, // as 1.0
        {1.0, {{0, 3000}, {3000, 9000}, {12000, 3000}, {15000, 9000}}},
        {-0.3, {{0, 6000}, {6000, 6000}, {12000, 6000}, {18000, 6000}}},
        {std::nan(""), {{0, 6000}, {6000, 6000}, {12000, 6000}, {18000, 6000}}},
        {std::nullopt, {{0, 6000}, {6000, 6000}, {12000, 6000}, {18000, 6000}}},
    };
    for (const auto& c : cases) {
        auto project = oneTrackProject(4);
        project.swing = c.swing;
        EXPECT_EQ(rowFrames(playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false)), c.expected)
            << (c.swing ? *c.swing : -99);
    }
}

TEST(PlaybackTimelineRows, SwingFollowsEachPatternsOwnRowParity)
{
    // A 3-row pattern followed by a 2-row one: rows 0 1 2 | 0 1 are short long short | short long.
    auto project = timelineProject({Pattern("A", 3, 1), Pattern("B", 2, 1)});
    project.swing = 0.5;
    EXPECT_EQ(rowFrames(playbackTimeline(project, SongScope{}, 0, 0, kRate, false)),
              (Frames{{0, 4500}, {4500, 7500}, {12000, 4500}, {16500, 4500}, {21000, 7500}}));

    // Starting on an odd row starts with a long row.
    EXPECT_EQ(rowFrames(playbackTimeline(project, PatternScope{0}, 1, 0, kRate, false)),
              (Frames{{0, 7500}, {7500, 4500}}));
}

TEST(PlaybackTimelineRows, RowsRoundFromTheAccumulatedTimeSoLengthsAlternateWithoutDrift)
{
    // 130 bpm at 44,100 Hz: a row is 5,088.46 frames.
    auto project = oneTrackProject(8);
    project.bpm = 130;
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, 44100, false);
    EXPECT_EQ(rowFrames(timeline), (Frames{{0, 5088}, {5088, 5089}, {10177, 5088}, {15265, 5089}, {20354, 5088},
                                           {25442, 5089}, {30531, 5088}, {35619, 5089}}));
    // 8 × 5,088.46 = 40,707.7; rounding each row's own length would have drifted to 8 × 5,088 = 40,704.
    EXPECT_EQ(timeline.totalFrames, 40708);

    // 1.5 frames a row: the halves go away from zero, so rows alternate 2 and 1 frames.
    EXPECT_EQ(rowFrames(playbackTimeline(oneTrackProject(4), PatternScope{0}, 0, 0, 12, false)),
              (Frames{{0, 2}, {2, 1}, {3, 2}, {5, 1}}));
}

TEST(PlaybackTimelineRows, RowDurationGivesOneRowInSeconds)
{
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 0, 0), 0.125);
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 0, 0.5), 0.09375);
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 7, 0.5), 0.15625);
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 1, 3.0), 0.1875);
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 1, -1.0), 0.125);
    EXPECT_DOUBLE_EQ(rowDuration(120, 4, 1, std::nan("")), 0.125);
    EXPECT_DOUBLE_EQ(rowDuration(60, 1, 0, 0), 1.0);
    EXPECT_EQ(rowDuration(0, 4, 0, 0), 0);
    EXPECT_EQ(rowDuration(120, 0, 0, 0), 0);
}

TEST(PlaybackTimelineRows, PatternScopeListsFromTheClampedStartRow)
{
    struct Case {
        int startRow;
        std::size_t count;
        int firstRow;
    };
    for (auto c : {Case{60, 4, 60}, Case{100, 1, 63}, Case{-5, 64, 0}, Case{0, 64, 0}, Case{63, 1, 63}}) {
        const auto timeline = playbackTimeline(oneTrackProject(64), PatternScope{0}, c.startRow, 0, kRate, false);
        ASSERT_EQ(timeline.rows.size(), c.count) << c.startRow;
        EXPECT_EQ(timeline.rows.front().row, c.firstRow) << c.startRow;
        EXPECT_EQ(timeline.rows.front().startFrame, 0) << c.startRow;
        EXPECT_EQ(timeline.totalFrames, static_cast<std::int64_t>(c.count) * kRow) << c.startRow;
    }
}

TEST(PlaybackTimelineRows, PatternScopeNamesOnePatternOrFallsBackToTheFirst)
{
    const auto project = threePatternSong({SongBlock{.pattern = 0}});
    EXPECT_EQ(places(playbackTimeline(project, PatternScope{1}, 0, 0, kRate, false)), passes(1, std::nullopt, 0, 2));
    EXPECT_EQ(places(playbackTimeline(project, PatternScope{3}, 0, 0, kRate, false)), passes(0, std::nullopt, 0, 4));
    EXPECT_EQ(places(playbackTimeline(project, PatternScope{-1}, 0, 0, kRate, false)), passes(0, std::nullopt, 0, 4));
}

TEST(PlaybackTimelineRows, SongScopePlaysEveryBlockItsRepeatCount)
{
    const auto project = threePatternSong({SongBlock{.pattern = 0, .repeats = 2}, SongBlock{.pattern = 1, .repeats = 0},
                                           SongBlock{.pattern = 2, .repeats = 1}});
    const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, kRate, false);
    EXPECT_EQ(places(timeline), passes(0, 0, 0, 4) + passes(0, 0, 0, 4) + passes(2, 2, 0, 3));
    EXPECT_EQ(timeline.totalFrames, 11 * kRow);
    // Frames run on across blocks.
    EXPECT_EQ(timeline.rows[8].startFrame, 8 * kRow);
}

TEST(PlaybackTimelineRows, SongScopeStartsAtTheStartBlockAndRowOfItsFirstPassOnly)
{
    const auto project = threePatternSong({SongBlock{.pattern = 1}, SongBlock{.pattern = 0, .repeats = 2},
                                           SongBlock{.pattern = 2}});
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 2, 1, kRate, false)),
              passes(0, 1, 2, 4) + passes(0, 1, 0, 4) + passes(2, 2, 0, 3));
    // The start row is clamped into the first pass's pattern.
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 50, 2, kRate, false)), passes(2, 2, 2, 3));
    // The start block is clamped into the block list.
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 0, 9, kRate, false)), passes(2, 2, 0, 3));
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 0, -4, kRate, false)),
              passes(1, 0, 0, 2) + passes(0, 1, 0, 4) + passes(0, 1, 0, 4) + passes(2, 2, 0, 3));
}

TEST(PlaybackTimelineRows, SongScopeWithoutAnArrangementPlaysTheOrder)
{
    auto project = threePatternSong({});
    project.arrangement.reset();
    project.order = {2, 0, 2};
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 0, 1, kRate, false)), passes(0, 1, 0, 4) + passes(2, 2, 0, 3));
    EXPECT_EQ(places(playbackTimeline(project, SongLoopScope{}, 1, 1, kRate, false)),
              passes(2, 0, 1, 3) + passes(0, 1, 0, 4) + passes(2, 2, 0, 3));
}

TEST(PlaybackTimelineRows, SongLoopScopePlaysTheEnabledLoopRegionWhateverTheStartBlock)
{
    auto project = threePatternSong({SongBlock{.pattern = 0}, SongBlock{.pattern = 1}, SongBlock{.pattern = 2},
                                     SongBlock{.pattern = 0}});
    project.arrangement->loop = SongLoopRegion{.startBlock = 1, .endBlock = 2, .enabled = true};
    EXPECT_EQ(places(playbackTimeline(project, SongLoopScope{}, 0, 3, kRate, false)), passes(1, 1, 0, 2) + passes(2, 2, 0, 3));
    // The start row applies to the loop's first pass too.
    EXPECT_EQ(places(playbackTimeline(project, SongLoopScope{}, 1, 0, kRate, false)), passes(1, 1, 1, 2) + passes(2, 2, 0, 3));

    project.arrangement->loop.enabled = false;
    EXPECT_EQ(places(playbackTimeline(project, SongLoopScope{}, 0, 3, kRate, false)),
              passes(0, 0, 0, 4) + passes(1, 1, 0, 2) + passes(2, 2, 0, 3) + passes(0, 3, 0, 4));

    // A region reaching past the blocks keeps the blocks that exist.
    project.arrangement->loop = SongLoopRegion{.startBlock = 3, .endBlock = 9, .enabled = true};
    EXPECT_EQ(places(playbackTimeline(project, SongLoopScope{}, 0, 0, kRate, false)), passes(0, 3, 0, 4));
}

TEST(PlaybackTimelineRows, ProjectsThatCannotBeTimedGiveAnEmptyTimeline)
{
    struct Case {
        const char* name;
        void (*spoil)(Project&);
        double sampleRate = kRate;
    };
    const std::vector<Case> cases{
        {"zero tempo", [](Project& p) { p.bpm = 0; }},
        {"NaN tempo", [](Project& p) { p.bpm = std::nan(""); }},
        {"infinite tempo", [](Project& p) { p.bpm = INFINITY; }},
        {"zero rows per beat", [](Project& p) { p.rowsPerBeat = 0; }},
        {"no patterns", [](Project& p) { p.patterns.clear(); }},
        {"pattern without rows", [](Project& p) { p.patterns[1] = Pattern("Empty", 0, 1); }},
        {"grid shorter than its size", [](Project& p) { p.patterns[0].rows = 5; }},
        {"grid narrower than its size", [](Project& p) { p.patterns[0].channels = 3; }},
        {"zero sample rate", [](Project&) {}, 0},
        {"NaN sample rate", [](Project&) {}, std::nan("")},
    };
    for (const auto& c : cases) {
        auto project = threePatternSong({SongBlock{.pattern = 0}, SongBlock{.pattern = 1}});
        writeTrack(project, 0, 0, {note(60), tie()});
        c.spoil(project);
        for (const PlaybackScope& scope : {PlaybackScope{PatternScope{0}}, PlaybackScope{SongScope{}}}) {
            const auto timeline = playbackTimeline(project, scope, 0, 0, c.sampleRate, true);
            EXPECT_TRUE(timeline.rows.empty()) << c.name;
            EXPECT_TRUE(timeline.notes.empty()) << c.name;
            EXPECT_EQ(timeline.totalFrames, 0) << c.name;
        }
    }
}

TEST(PlaybackTimelineRows, BlocksThatCannotBePlayedArePassedOver)
{
    auto project = threePatternSong({SongBlock{.pattern = 7}, SongBlock{.pattern = 1, .repeats = -3},
                                     SongBlock{.pattern = -1}, SongBlock{.pattern = 2}});
    EXPECT_EQ(places(playbackTimeline(project, SongScope{}, 1, 0, kRate, false)), passes(2, 3, 1, 3));

    project.arrangement->blocks = {SongBlock{.pattern = 1}};
    project.arrangement->loop = SongLoopRegion{.startBlock = 1, .endBlock = 0, .enabled = true};
    EXPECT_TRUE(playbackTimeline(project, SongLoopScope{}, 0, 0, kRate, false).rows.empty());

    project.arrangement->blocks.clear();
    EXPECT_TRUE(playbackTimeline(project, SongScope{}, 0, 0, kRate, false).rows.empty());
}

TEST(PlaybackTimelineRows, TimelinesCompareByValue)
{
    auto project = threePatternSong({SongBlock{.pattern = 0, .repeats = 2}, SongBlock{.pattern = 2}});
    writeTrack(project, 0, 0, {note(60), std::nullopt, Cell{.locks = {{ParameterTarget::trackPan, 0.5}}}});
    const auto a = playbackTimeline(project, SongScope{}, 0, 0, kRate, true);
    const auto b = playbackTimeline(Project(project), SongScope{}, 0, 0, kRate, true);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, playbackTimeline(project, SongScope{}, 1, 0, kRate, true));
    EXPECT_NE(a, playbackTimeline(project, SongScope{}, 0, 0, 44100, true));

    writeTrack(project, 0, 0, {std::nullopt, std::nullopt, Cell{.locks = {{ParameterTarget::trackPan, 0.25}}}});
    EXPECT_NE(a, playbackTimeline(project, SongScope{}, 0, 0, kRate, true));
}
