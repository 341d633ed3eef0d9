// The live transport as the engine drives it: what plays, the cycles it releases, the generation that
// voids a stopped playback's continuations, the count-in and the playing position.

#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/Transport/PlaybackTransport.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using testing::engineLead;
using testing::engineRow;

PlaybackTimeline patternTimeline(const Project& project, bool cyclic)
{
    return playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, cyclic);
}

TEST(PlaybackTransport, AStoppedTransportHasNoPlaybackNoPositionAndRateOne)
{
    AudioEngine engine(testing::manualEngine());
    const PlaybackTransport& transport = engine.transport();
    EXPECT_FALSE(transport.isPlaying());
    EXPECT_FALSE(transport.hasStarted());
    EXPECT_FALSE(transport.playingFrame());
    EXPECT_EQ(transport.clockFrame(), 0);
    EXPECT_EQ(transport.releasedCycles(), 0);
    EXPECT_EQ(testing::probe(engine).master().timePitch->rate(), 1.0f);
}

TEST(PlaybackTransport, ALoopingPlaybackReleasesTwoCyclesThenOneAtEachCycleMiddle)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = testing::sequencerProject(4, 1);
    const PlaybackTimeline timeline = patternTimeline(project, true);
    ASSERT_EQ(timeline.totalFrames, 4 * engineRow);
    engine.schedule(timeline, project, true, false, 4);
    const PlaybackTransport& transport = engine.transport();

    ASSERT_TRUE(transport.isPlaying());
    EXPECT_TRUE(transport.hasStarted());
    EXPECT_TRUE(transport.playback().looping);
    EXPECT_EQ(transport.playback().cycleFrames, timeline.totalFrames);
    EXPECT_EQ(transport.playback().countInFrames, 96000);
    EXPECT_EQ(transport.playback().project->rowsPerBeat, 4);
    EXPECT_EQ(transport.cycleStart(0), 96000);
    EXPECT_EQ(transport.cycleStart(3), 96000 + 3 * timeline.totalFrames);
    EXPECT_EQ(transport.releasedCycles(), 2);

    // Cycle c's marker sits half-way through it and releases cycle c + 2 once the pump has seen it.
    testing::Capture capture;
    const std::int64_t margin = 8 * testing::engineBlock; // more than the limiter's look-ahead
    testing::renderEngine(engine, engineLead + transport.cycleStart(0) + timeline.totalFrames / 2 - margin, capture);
    EXPECT_EQ(transport.releasedCycles(), 2);
    testing::renderEngine(engine, 2 * margin, capture);
    EXPECT_EQ(transport.releasedCycles(), 3);
    testing::renderEngine(engine, timeline.totalFrames, capture);
    EXPECT_EQ(transport.releasedCycles(), 4);
    // The playing frame counts from the first row over every cycle, the count-in left out.
    ASSERT_TRUE(transport.playingFrame());
    EXPECT_EQ(*transport.playingFrame(), transport.clockFrame() - 96000);
    EXPECT_GT(*transport.playingFrame(), timeline.totalFrames);
}

TEST(PlaybackTransport, APlaybackThatDoesNotLoopReleasesItsOneCycleOnly)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = testing::sequencerProject(4, 1);
    const PlaybackTimeline timeline = patternTimeline(project, false);
    engine.schedule(timeline, project, false, false, 0);
    EXPECT_FALSE(engine.transport().playback().looping);
    EXPECT_EQ(engine.transport().releasedCycles(), 1);
    testing::renderEngine(engine, engineLead + 3 * timeline.totalFrames);
    EXPECT_EQ(engine.transport().releasedCycles(), 1);
    // Through the count-in the playing frame holds at 0.
    engine.schedule(timeline, project, false, false, 4);
    testing::renderEngine(engine, engineLead + 48000);
    EXPECT_EQ(engine.transport().playingFrame(), 0);
}

TEST(PlaybackTransport, StopEndsThePlaybackVoidsItsMarkersAndSetsTheRateBackToOne)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = testing::sequencerProject(4, 1);
    const PlaybackTimeline timeline = patternTimeline(project, true);
    engine.schedule(timeline, project, true, false, 0);
    engine.transport().setRate(1.5f);
    EXPECT_EQ(testing::probe(engine).master().timePitch->rate(), 1.5f);

    // Cycle 0's marker plays, but the pump has not seen it when playback stops.
    AudioBuffer block(testing::engineBlock, testing::engineRate);
    for (std::int64_t done = 0; done < engineLead + timeline.totalFrames; done += testing::engineBlock) {
        engine.renderManually(block, testing::engineBlock);
    }
    engine.stop();
    // The clock stops when the graph next renders it.
    testing::renderEngine(engine, testing::engineBlock);
    EXPECT_FALSE(engine.transport().isPlaying());
    EXPECT_FALSE(engine.transport().hasStarted());
    EXPECT_FALSE(engine.transport().playingFrame());
    EXPECT_EQ(engine.transport().releasedCycles(), 0);
    EXPECT_EQ(testing::probe(engine).master().timePitch->rate(), 1.0f);
    // The last playback's lengths stay readable.
    EXPECT_EQ(engine.transport().playback().cycleFrames, timeline.totalFrames);
}

TEST(PlaybackTransport, AnEmptyTimelineReleasesNoCycleButStartsTheClock)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = testing::sequencerProject(4, 1);
    engine.schedule(PlaybackTimeline{.sampleRate = testing::engineRate}, project, true, false, 0);
    EXPECT_FALSE(engine.transport().playback().looping);
    EXPECT_EQ(engine.transport().releasedCycles(), 0);
    testing::renderEngine(engine, engineLead + 2 * testing::engineBlock);
    EXPECT_TRUE(engine.transport().playingFrame());
}

} // namespace
} // namespace veltrane
