// The model's side of an audio device change: playback stops where it was, the engine is rebuilt once
// 0.4 s after the last change, and playback starts again from there when it was running.

#include "TransportTestSupport.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using namespace testing;

void deviceChanges(ModelHarness& harness) { harness.engine->onConfigurationChange(); }

TEST(TransportAudioRecovery, PlaybackStopsWhereItWasAndStartsAgainThereOnceTheEngineIsRebuilt)
{
    ModelHarness harness;
    auto& model = harness.make(); // the demo pattern: 64 rows
    playNow(harness);
    playTo(harness, static_cast<std::int64_t>(37.5 * 60.0 / 124 / 4 * 48000)); // the middle of row 37 at 124 BPM
    ASSERT_EQ(model.playbackUI().row, 37);

    deviceChanges(harness);
    EXPECT_FALSE(model.isPlaying());
    EXPECT_EQ(model.selectedRow(), 37);
    EXPECT_TRUE(model.isRecoveringAudio());
    harness.scheduler->advance(399ms);
    EXPECT_EQ(harness.engine->recoveries, 0);
    harness.scheduler->advance(1ms);
    EXPECT_EQ(harness.engine->recoveries, 1);
    EXPECT_FALSE(model.isRecoveringAudio());
    EXPECT_TRUE(model.isPlaying());
    ASSERT_EQ(harness.engine->schedules.size(), 2u);
    EXPECT_EQ(harness.engine->schedules[1].timeline.rows.front().row, 37);
}

TEST(TransportAudioRecovery, WhileStoppedTheEngineIsRebuiltAndNothingPlays)
{
    ModelHarness harness;
    auto& model = harness.make();
    deviceChanges(harness);
    EXPECT_EQ(harness.engine->stops, 0);
    harness.scheduler->advance(400ms);
    EXPECT_EQ(harness.engine->recoveries, 1);
    EXPECT_FALSE(model.isRecoveringAudio());
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_TRUE(harness.engine->schedules.empty());
}

TEST(TransportAudioRecovery, ABurstOfChangesRebuildsOnceAfterTheLastAndResumesOnce)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.play(); // a change while playback is only being prepared counts as playing
    deviceChanges(harness);
    EXPECT_FALSE(model.isPreparingPlayback());
    harness.scheduler->advance(100ms);
    deviceChanges(harness);
    harness.scheduler->advance(100ms);
    deviceChanges(harness);
    harness.scheduler->advance(399ms);
    EXPECT_EQ(harness.engine->recoveries, 0);
    harness.scheduler->advance(1ms);
    EXPECT_EQ(harness.engine->recoveries, 1);
    harness.scheduler->advance(1000ms);
    EXPECT_EQ(harness.engine->recoveries, 1);
    EXPECT_TRUE(model.isPlaying());
    EXPECT_EQ(harness.engine->schedules.size(), 1u);
}

TEST(TransportAudioRecovery, AFailedRecoveryIsReportedAndPlaybackStaysStopped)
{
    ModelHarness harness;
    auto& model = harness.make();
    playNow(harness);
    harness.engine->recoveryFailure = "No such device.";
    deviceChanges(harness);
    harness.scheduler->advance(400ms);
    EXPECT_FALSE(model.isRecoveringAudio());
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_EQ(model.error(),
              "The audio device is unavailable. Reconnect it or choose another output, then press Play. No such device.");
}

TEST(TransportAudioRecovery, APlayingRowPastThePatternsEndPutsTheCursorOnItsLastRow)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    model.setSongMode(true);
    playNow(harness);
    playTo(harness, rowFrames * 7); // pattern B, row 3
    ASSERT_EQ(model.playbackUI().row, 3);
    // Pattern B shrinks to two rows while it plays.
    Project edited = model.project();
    edited.patterns[1] = Pattern("B", 2, 2);
    model.setProject(edited);
    deviceChanges(harness);
    EXPECT_EQ(model.selectedRow(), 1);
}

} // namespace
} // namespace veltrane
