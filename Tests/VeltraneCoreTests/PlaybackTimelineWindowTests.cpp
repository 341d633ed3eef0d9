#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <tuple>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::vector<std::tuple<std::int64_t, int, int>> sortedOffs(std::vector<TimelineNoteOffEvent> offs)
{
    std::vector<std::tuple<std::int64_t, int, int>> sorted;
    for (const auto& off : offs) sorted.emplace_back(off.frame, off.track, off.note);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

/// The song of 2,500 blocks, each 64 passes of one 256-row pattern: a few hundred kilobytes as a file,
/// 41 million rows if every row were listed.
Project endlessSong()
{
    Project project = timelineProject({Pattern("Long", 256, 4)});
    project.patterns[0].setCell(0, 0, note(60, 1));
    project.patterns[0].setCell(255, 3, Cell{.note = NotePitch{64}, .instrument = 2, .gate = 4,
                                             .locks = {{ParameterTarget::trackPan, 0.5}}});
    project.arrangement->blocks.assign(2500, SongBlock{.pattern = 0, .repeats = 64});
    project.order.assign(2500 * 64, 0);
    return project;
}

} // namespace

TEST(PlaybackTimelineWindow, WindowsSideBySideListExactlyTheWholeTimeline)
{
    const Project project = realisticSong();
    for (const bool cyclic : {false, true}) {
        for (const auto& [scope, startRow, startBlock] :
             {std::tuple<PlaybackScope, int, int>{SongScope{}, 0, 0}, {SongScope{}, 5, 1}, {PatternScope{1}, 3, 0}}) {
            const auto whole = playbackTimeline(project, scope, startRow, startBlock, kRate, cyclic);
            ASSERT_GT(whole.rows.size(), 10u);
            for (const std::int64_t size : {1, 7, 40, 1000}) {
                SCOPED_TRACE("cyclic " + std::to_string(cyclic) + ", windows of " + std::to_string(size));
                PlaybackTimeline joined;
                for (std::int64_t first = 0; first < static_cast<std::int64_t>(whole.rows.size()); first += size) {
                    const auto part = playbackTimeline(project, scope, startRow, startBlock, kRate, cyclic, {first, size});
                    EXPECT_EQ(part.totalFrames, whole.totalFrames);
                    EXPECT_EQ(part.sampleRate, whole.sampleRate);
                    joined.rows.insert(joined.rows.end(), part.rows.begin(), part.rows.end());
                    joined.notes.insert(joined.notes.end(), part.notes.begin(), part.notes.end());
                    joined.noteOffs.insert(joined.noteOffs.end(), part.noteOffs.begin(), part.noteOffs.end());
                    joined.locks.insert(joined.locks.end(), part.locks.begin(), part.locks.end());
                }
                EXPECT_EQ(joined.rows, whole.rows);
                EXPECT_EQ(joined.notes, whole.notes);
                EXPECT_EQ(joined.locks, whole.locks);
                EXPECT_EQ(sortedOffs(joined.noteOffs), sortedOffs(whole.noteOffs));
            }
        }
    }
}

TEST(PlaybackTimelineWindow, AWindowPastTheEndHoldsNothingButTheLength)
{
    const Project project = realisticSong();
    const auto whole = playbackTimeline(project, SongScope{}, 0, 0, kRate, false);
    const auto rows = static_cast<std::int64_t>(whole.rows.size());
    for (const TimelineWindow window : {TimelineWindow{rows, 10}, TimelineWindow{rows + 5, 1}, TimelineWindow{3, 0},
                                        TimelineWindow{3, -4}}) {
        const auto part = playbackTimeline(project, SongScope{}, 0, 0, kRate, false, window);
        EXPECT_TRUE(part.rows.empty() && part.notes.empty() && part.noteOffs.empty() && part.locks.empty());
        EXPECT_EQ(part.totalFrames, whole.totalFrames);
    }
    // A window that begins before the first row or runs past the last is cut to the listed rows.
    EXPECT_EQ(playbackTimeline(project, SongScope{}, 0, 0, kRate, false, {-10, rows + 100}), whole);
}

TEST(PlaybackTimelineLength, IsTheLengthOfTheTimelineWithoutListingIt)
{
    const Project song = realisticSong();
    Project unplayable = song;
    unplayable.bpm = 0;
    Project looped = song;
    looped.arrangement->loop = {.startBlock = 1, .endBlock = 2, .enabled = true};
    const std::tuple<const Project*, PlaybackScope, int, int, double> cases[] = {
        {&song, SongScope{}, 0, 0, kRate},   {&song, SongScope{}, 9, 2, 44100},   {&song, PatternScope{2}, 4, 0, kRate},
        {&song, PatternScope{7}, 0, 0, kRate}, {&looped, SongLoopScope{}, 3, 0, 96000}, {&song, SongLoopScope{}, 0, 0, kRate},
        {&unplayable, SongScope{}, 0, 0, kRate}, {&song, SongScope{}, 0, 0, -1},
    };
    for (const auto& [project, scope, startRow, startBlock, rate] : cases) {
        const auto timeline = playbackTimeline(*project, scope, startRow, startBlock, rate, false);
        const auto length = playbackTimelineLength(*project, scope, startRow, startBlock, rate);
        EXPECT_EQ(length.rows, static_cast<std::int64_t>(timeline.rows.size()));
        EXPECT_EQ(length.totalFrames, timeline.totalFrames);
        EXPECT_EQ(length.duration(), timeline.duration());
    }
}

TEST(PlaybackTimelineLength, ASongOfMillionsOfRowsIsListedOnlyUpToTheBound)
{
    const Project project = endlessSong();
    const auto length = playbackTimelineLength(project, SongScope{}, 0, 0, 44100);
    EXPECT_EQ(length.rows, maximumTimelineRows);
    // 2^20 rows of 0.125 s each.
    EXPECT_EQ(length.totalFrames, 44100 * (maximumTimelineRows / 8));
    EXPECT_GT(length.duration(), 1200);

    // The last listed rows, and nothing after them.
    const auto tail = playbackTimeline(project, SongScope{}, 0, 0, 44100, true, {maximumTimelineRows - 2, 100});
    ASSERT_EQ(tail.rows.size(), 2u);
    EXPECT_EQ(tail.totalFrames, length.totalFrames);
    EXPECT_EQ(tail.rows.back().startFrame + tail.rows.back().durationFrames, length.totalFrames);
    EXPECT_EQ(tail.rows.back().row, 255);
    // The note of the pattern's last row lasts its gate of four rows, three of them in the next cycle:
    // the rows there hold nothing on its track that would cut it.
    ASSERT_EQ(tail.notes.size(), 1u);
    EXPECT_EQ(tail.notes[0].track, 3);
    EXPECT_EQ(tail.rows.back().durationFrames, 5512);
    EXPECT_EQ(tail.notes[0].durationFrames, 4 * 5512); // a gate counts in its own row's lengths
    ASSERT_EQ(tail.noteOffs.size(), 1u);
    EXPECT_GT(tail.noteOffs[0].frame, length.totalFrames);
    // Its lock event names the instrument its cell names.
    ASSERT_EQ(tail.locks.size(), 1u);
    EXPECT_EQ(tail.locks[0].instrument, 2);
}

TEST(PlaybackTimelineWindow, LockEventsNameTheInstrumentTheRowsBeforeTheWindowLeft)
{
    auto project = oneTrackProject(64);
    writeTrack(project, 0, 0, {note(60, 2), std::nullopt, Cell{.instrument = 9}, Cell{.instrument = 3}});
    project.patterns[0].setCell(50, 0, Cell{.locks = {{ParameterTarget::instrumentTune, 5}}});
    const auto whole = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
    ASSERT_EQ(whole.locks.size(), 1u);
    EXPECT_EQ(whole.locks[0].instrument, 3); // 9 names no instrument and is not remembered
    const auto part = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false, {48, 8});
    EXPECT_EQ(part.locks, whole.locks);
}

TEST(PlaybackTimeline, AnAbsurdSampleRateGivesAnEmptyTimelineRatherThanOverflowingFrames)
{
    auto project = oneTrackProject(16);
    writeTrack(project, 0, 0, {Cell{.note = NotePitch{60}, .instrument = 0, .gate = 16, .locks = {{ParameterTarget::trackPan, 1}}}});
    for (const double rate : {1e300, std::numeric_limits<double>::max(), 1e19, 1e18}) {
        for (const bool cyclic : {false, true}) {
            const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, rate, cyclic);
            EXPECT_TRUE(timeline.rows.empty() && timeline.notes.empty() && timeline.locks.empty()) << rate;
            EXPECT_EQ(timeline.totalFrames, 0) << rate;
            EXPECT_EQ(timeline.sampleRate, rate);
            EXPECT_EQ(playbackTimelineLength(project, PatternScope{0}, 0, 0, rate).totalFrames, 0);
        }
    }
    // A rate that keeps the song within the bound is timed as any other: 16 rows of 0.125 s at 2^59 Hz.
    const double highest = static_cast<double>(std::int64_t{1} << 59);
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, highest, true);
    ASSERT_EQ(timeline.rows.size(), 16u);
    EXPECT_EQ(timeline.totalFrames, std::int64_t{1} << 60);
    ASSERT_EQ(timeline.notes.size(), 1u);
    EXPECT_EQ(timeline.notes[0].durationFrames, timeline.totalFrames); // 16 rows of gate, held to one pass
}
