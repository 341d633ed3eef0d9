// Play and stop through the model, against a recording engine and virtual time: what is scheduled, how
// the position loop follows the engine and moves the editor, how playback ends, and the meter loop.

#include "TransportTestSupport.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using namespace testing;

TEST(TransportPlayback, PlaysTheCurrentPatternFromTheCursorAfterItsPreparation)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setSelectedRow(4);
    model.play();
    EXPECT_TRUE(model.isPreparingPlayback());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_EQ(model.activeTimeline(), nullptr);
    EXPECT_TRUE(harness.engine->schedules.empty());

    harness.scheduler->advance(0ms);
    ASSERT_EQ(harness.engine->schedules.size(), 1u);
    EXPECT_EQ(harness.engine->preparations, 1);
    const auto& scheduled = harness.engine->schedules[0];
    const auto expected = playbackTimeline(model.project(), PatternScope{0}, 4, 0, 48000, true);
    EXPECT_EQ(scheduled.timeline, expected);
    EXPECT_EQ(scheduled.project, model.project());
    EXPECT_TRUE(scheduled.looping);
    EXPECT_FALSE(scheduled.metronome);
    EXPECT_EQ(scheduled.countInBeats, 0);
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_TRUE(model.isPlaying());
    ASSERT_NE(model.activeTimeline(), nullptr);
    EXPECT_EQ(*model.activeTimeline(), expected);
    EXPECT_EQ(model.playbackBaseBPM(), model.project().bpm);

    // Play while playing, or while preparing, changes nothing.
    model.play();
    harness.scheduler->advance(0ms);
    EXPECT_EQ(harness.engine->schedules.size(), 1u);
    model.stop();
    model.play();
    model.play();
    harness.scheduler->advance(0ms);
    EXPECT_EQ(harness.engine->schedules.size(), 2u);
}

TEST(TransportPlayback, TheScopeFollowsSongModeTheLoopSwitchAndTheLoopRegion)
{
    struct Case {
        bool songMode, loop, arrangement, regionEnabled;
        PlaybackScope scope;
    };
    const Case cases[] = {
        {false, true, true, true, PatternScope{1}},
        {true, true, true, true, SongLoopScope{}},
        {true, false, true, true, SongScope{}},
        {true, true, true, false, SongScope{}},
        {true, true, false, true, SongScope{}},
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = harness.make();
        Project project = songProject();
        project.arrangement->loop = SongLoopRegion{.startBlock = 1, .endBlock = 2, .enabled = c.regionEnabled};
        if (!c.arrangement) project.arrangement.reset();
        model.setProject(project);
        model.setPatternIndex(1);
        model.setSelectedSongBlock(1);
        model.setSelectedRow(2);
        model.setSongMode(c.songMode);
        model.setLoopEnabled(c.loop);
        playNow(harness);
        ASSERT_EQ(harness.engine->schedules.size(), 1u);
        const int startBlock = c.songMode ? 1 : 0;
        EXPECT_EQ(harness.engine->schedules[0].timeline, playbackTimeline(project, c.scope, 2, startBlock, 48000, c.loop))
            << "song mode " << c.songMode << ", loop " << c.loop << ", region " << c.regionEnabled;
        EXPECT_EQ(harness.engine->schedules[0].looping, c.loop);
    }
}

TEST(TransportPlayback, CountsInFourBeatsOnlyWithTheMetronomeAndCountInBothOn)
{
    for (const auto& [metronome, countIn, beats] : {std::tuple{true, true, 4}, {true, false, 0}, {false, true, 0}}) {
        ModelHarness harness;
        auto& model = harness.make();
        model.setMetronome(metronome);
        model.setCountIn(countIn);
        playNow(harness);
        ASSERT_EQ(harness.engine->schedules.size(), 1u);
        EXPECT_EQ(harness.engine->schedules[0].countInBeats, beats);
        EXPECT_EQ(harness.engine->schedules[0].metronome, metronome);
        // Through the count-in the engine holds the frame at 0: the first row shows as playing.
        playTo(harness, 0);
        EXPECT_EQ(model.playbackUI().row, 0);
    }
}

TEST(TransportPlayback, FollowingAnExternalClockBuildsTheTimelineAtItsTempoWithoutChangingTheProject)
{
    ModelHarness harness;
    auto& model = harness.make();
    const double projectTempo = model.project().bpm;
    model.setExternalClockBPM(100);
    playNow(harness);
    EXPECT_EQ(harness.engine->schedules.back().project.bpm, projectTempo) << "not following: the project's tempo";
    model.stop();

    model.setMidiClockReceive(true);
    playNow(harness);
    EXPECT_EQ(harness.engine->schedules.back().project.bpm, 100);
    EXPECT_EQ(model.playbackBaseBPM(), 100);
    EXPECT_EQ(model.project().bpm, projectTempo);
    EXPECT_EQ(harness.engine->schedules.back().timeline,
              playbackTimeline(harness.engine->schedules.back().project, PatternScope{0}, 0, 0, 48000, true));
}

TEST(TransportPlayback, NothingToPlayStartsNothingAndSaysNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    project.bpm = 0; // cannot be timed
    model.setProject(project);
    model.play();
    harness.scheduler->advance(10ms);
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_TRUE(harness.engine->schedules.empty());
    EXPECT_FALSE(model.error());
}

TEST(TransportPlayback, ThePositionLoopWaitsForTheEngineThenMovesTheRowAndTheAutomation)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    playNow(harness);
    harness.scheduler->advance(40ms);
    EXPECT_FALSE(model.playbackUI().row) << "nothing before the engine has rendered";
    EXPECT_TRUE(harness.engine->busUpdates.empty());

    playTo(harness, 0);
    EXPECT_EQ(model.playbackUI().row, 0);
    playTo(harness, rowFrames * 2 + 10);
    EXPECT_EQ(model.playbackUI().row, 2);
    EXPECT_EQ(harness.engine->busUpdates.back(), rowFrames * 2 + 10);
    // Looping: past the end the position wraps, for the row and for the automation.
    playTo(harness, rowFrames * 4 + rowFrames + 1);
    EXPECT_EQ(model.playbackUI().row, 1);
    EXPECT_EQ(harness.engine->busUpdates.back(), rowFrames + 1);
    EXPECT_TRUE(model.isPlaying());
    // Bus automation follows on every tick, the row only when it changes.
    const auto updates = harness.engine->busUpdates.size();
    harness.scheduler->advance(80ms);
    EXPECT_GE(harness.engine->busUpdates.size(), updates + 9);
}

TEST(TransportPlayback, APlaybackWithoutLoopEndsAtItsEndEvenWhenLoopIsSwitchedOnMeanwhile)
{
    for (const bool switchOn : {false, true}) {
        ModelHarness harness;
        auto& model = harness.make();
        model.setProject(songProject());
        model.setLoopEnabled(false);
        playNow(harness);
        EXPECT_FALSE(harness.engine->schedules[0].looping);
        playTo(harness, rowFrames * 3);
        EXPECT_EQ(model.playbackUI().row, 3);
        // Only one pass was scheduled: Loop switched on now cannot make the engine play another.
        if (switchOn) model.setLoopEnabled(true);
        playTo(harness, rowFrames * 4 - 1);
        EXPECT_TRUE(model.isPlaying());
        const int stops = harness.engine->stops;
        playTo(harness, rowFrames * 4);
        EXPECT_FALSE(model.isPlaying()) << "Loop switched on meanwhile: " << switchOn;
        EXPECT_EQ(model.activeTimeline(), nullptr);
        EXPECT_FALSE(model.playbackUI().row);
        EXPECT_EQ(harness.engine->stops, stops + 1);
    }
}

TEST(TransportPlayback, SwitchingLoopOffPastTheFirstCycleStopsAtTheNextTick)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    playNow(harness);
    playTo(harness, rowFrames * 4 + 100);
    EXPECT_TRUE(model.isPlaying());
    model.setLoopEnabled(false);
    harness.scheduler->advance(8ms);
    EXPECT_FALSE(model.isPlaying());
}

TEST(TransportPlayback, SongPlaybackMovesTheSelectedBlockAndPatternAlong)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    model.setSongMode(true);
    model.setSelectedRow(3);
    playNow(harness);
    playTo(harness, 0);
    EXPECT_EQ(model.playbackUI().row, 3);
    EXPECT_EQ(model.selectedRow(), 3) << "the cursor stays while the pattern does";
    playTo(harness, rowFrames + 5); // block 1, pattern B, row 0
    EXPECT_EQ(model.selectedSongBlock(), 1);
    EXPECT_EQ(model.patternIndex(), 1);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.playbackUI().row, 0);
    model.setSelectedRow(2);
    playTo(harness, rowFrames * 2); // still pattern B: the cursor stays
    EXPECT_EQ(model.selectedRow(), 2);
    playTo(harness, rowFrames * 5); // block 2, pattern A
    EXPECT_EQ(model.selectedSongBlock(), 2);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(model.selectedRow(), 0);
}

TEST(TransportPlayback, ThePositionLoopNeverSelectsAPatternOrBlockThatIsGone)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    model.setSongMode(true);
    playNow(harness);
    playTo(harness, 0);
    // Pattern B and the blocks after the first are deleted while the song plays the timeline built before.
    Project edited = model.project();
    edited.patterns.pop_back();
    edited.arrangement->blocks.resize(1);
    edited.syncOrderFromArrangement();
    model.setProject(edited);
    playTo(harness, rowFrames * 5);
    EXPECT_EQ(model.playbackUI().row, 1);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(model.selectedSongBlock(), 0);
    EXPECT_TRUE(model.isPlaying());
}

TEST(TransportPlayback, StopEndsEverythingAndIsSafeWhenNothingPlays)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.stop();
    EXPECT_EQ(harness.engine->stops, 1) << "the engine is stopped even when nothing plays";

    playNow(harness);
    playTo(harness, 100);
    model.setQueuedPatternIndex(0);
    model.stop();
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_EQ(model.activeTimeline(), nullptr);
    EXPECT_FALSE(model.playbackUI().row);
    EXPECT_FALSE(model.queuedPatternIndex());
    EXPECT_EQ(harness.engine->stops, 2);
    const auto updates = harness.engine->busUpdates.size();
    harness.scheduler->advance(100ms);
    EXPECT_EQ(harness.engine->busUpdates.size(), updates) << "the position loop has ended";
}

TEST(TransportPlayback, StopDuringPreparationCancelsItQuietly)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.play();
    model.stop();
    harness.scheduler->advance(50ms);
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_TRUE(harness.engine->schedules.empty());
    EXPECT_EQ(harness.engine->preparations, 0);
    EXPECT_FALSE(model.error());

    // A play right after the stop prepares anew, once.
    model.play();
    model.stop();
    model.play();
    harness.scheduler->advance(0ms);
    EXPECT_EQ(harness.engine->schedules.size(), 1u);
    EXPECT_TRUE(model.isPlaying());
}

TEST(TransportPlayback, AFailedScheduleIsReportedAndLeavesTheTransportStopped)
{
    ModelHarness harness;
    auto& model = harness.make();
    harness.engine->scheduleFailure = "The audio output could not start.";
    playNow(harness);
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_EQ(model.activeTimeline(), nullptr);
    EXPECT_EQ(model.error(), "The audio output could not start.");
}

TEST(TransportPlayback, UnavailablePluginsAreNamedOnceSortedAndPlaybackGoesOn)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto zeta = testUnit(0x61756d75, 7, "Zeta");
    const auto alpha = testUnit(0x61756678, 8, "Alpha");
    harness.engine->unitFailures = {{zeta, "gone"}, {alpha, "gone"}, {zeta, "gone again"}};
    playNow(harness);
    EXPECT_TRUE(model.isPlaying());
    EXPECT_EQ(model.error(), "Playback continues without unavailable Audio Units: Alpha, Zeta.");
    EXPECT_TRUE(model.unavailableAudioUnitIDs().contains(zeta.id()));
    EXPECT_TRUE(model.unavailableAudioUnitIDs().contains(alpha.id()));
}

TEST(TransportPlayback, SpaceStartsAndStopsPlayback)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.handleKey(KeyPress{.key = Key::space});
    EXPECT_TRUE(model.isPreparingPlayback());
    harness.scheduler->advance(0ms);
    EXPECT_TRUE(model.isPlaying());
    model.handleKey(KeyPress{.key = Key::space});
    EXPECT_FALSE(model.isPlaying());
}

TEST(TransportPlayback, TheMetersAreReadEvery33MillisecondsForTheModelsLife)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_EQ(model.meters().master, 0);
    for (float level : model.meters().tracks) EXPECT_EQ(level, 0);

    harness.engine->meterLevels.tracks[3] = 0.5f;
    harness.engine->meterLevels.master = 0.25f;
    harness.scheduler->advance(0ms);
    EXPECT_EQ(model.meters().tracks[3], 0.5f);
    EXPECT_EQ(model.meters().master, 0.25f);
    const int reads = harness.engine->meterReads;
    harness.scheduler->advance(330ms);
    EXPECT_EQ(harness.engine->meterReads, reads + 10);

    // Once the model is gone, its loop reads nothing more.
    harness.model.reset();
    harness.scheduler->advance(330ms);
    EXPECT_EQ(harness.scheduler->pendingCount(), 0u);
}

} // namespace
} // namespace veltrane
