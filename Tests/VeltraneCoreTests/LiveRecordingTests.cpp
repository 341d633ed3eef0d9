#include "VeltraneCore/LiveRecording/LiveRecording.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;

namespace {

/// Rows of `rowFrames` frames, one after another, in pattern 0 (or cycling through `patterns` patterns).
PlaybackTimeline evenRows(int count, std::int64_t rowFrames = 1000)
{
    PlaybackTimeline timeline;
    for (int i = 0; i < count; ++i) {
        timeline.rows.push_back({.startFrame = i * rowFrames, .durationFrames = rowFrames, .patternIndex = i / 2, .row = i % 2 + 10});
    }
    timeline.totalFrames = count * rowFrames;
    return timeline;
}

Effect delay(std::uint8_t value) { return {EffectType::delay, value}; }

} // namespace

TEST(LiveRecording, PlacesANoteByTheQuantizeStrength)
{
    const auto timeline = evenRows(4);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::int64_t frame;
        double strength;
        RecordingPlacement expected;
    };
    const Case cases[] = {
        {"full strength moves to the nearest row start", 2600, 1.0, {3, 1, 11, 0}},
        {"no strength keeps the offset in sixteenths", 2600, 0.0, {2, 1, 10, 10}},
        {"half strength pulls half way", 2600, 0.5, {2, 1, 10, 13}},
        {"a tie goes to the earlier row", 2500, 1.0, {2, 1, 10, 0}},
        {"an offset that rounds to a whole row moves to the next row", 2970, 0.0, {3, 1, 11, 0}},
        {"on the last row it stays with delay 15", 3970, 0.0, {3, 1, 11, 15}},
        {"strength above 1 counts as 1", 2600, 7.0, {3, 1, 11, 0}},
        {"negative strength counts as 0", 2600, -1.0, {2, 1, 10, 10}},
        {"a strength that is not a number counts as 0", 2600, nan, {2, 1, 10, 10}},
        {"a frame before the start is held to the first frame", -500, 0.0, {0, 0, 10, 0}},
        {"a frame past the end is held to the last frame", 99999, 0.0, {3, 1, 11, 15}},
        {"frame 0 during a count-in lands on the first row", 0, 1.0, {0, 0, 10, 0}},
        {"the extreme frame does not overflow", std::numeric_limits<std::int64_t>::min(), 1.0, {0, 0, 10, 0}},
    };
    for (const auto& [name, frame, strength, expected] : cases) {
        EXPECT_EQ(recordingPlacement(frame, strength, timeline), expected) << name;
    }
}

TEST(LiveRecording, PlacesNothingOnATimelineWithoutRowsOrFrames)
{
    EXPECT_EQ(recordingPlacement(0, 1.0, PlaybackTimeline{}), std::nullopt);
    auto noFrames = evenRows(2);
    noFrames.totalFrames = 0;
    EXPECT_EQ(recordingPlacement(0, 1.0, noFrames), std::nullopt);
}

TEST(LiveRecording, PlacesOnRowsOfUnevenLength)
{
    // A swung timeline: long and short rows alternate. Sixteenths are of the row the note falls in.
    PlaybackTimeline timeline;
    timeline.rows = {{.startFrame = 0, .durationFrames = 1200, .row = 0},
                     {.startFrame = 1200, .durationFrames = 800, .row = 1},
                     {.startFrame = 2000, .durationFrames = 1200, .row = 2}};
    timeline.totalFrames = 3200;
    EXPECT_EQ(recordingPlacement(1600, 0.0, timeline), (RecordingPlacement{1, 0, 1, 8}));
    EXPECT_EQ(recordingPlacement(1000, 0.0, timeline), (RecordingPlacement{0, 0, 0, 13}));
    EXPECT_EQ(recordingPlacement(1000, 1.0, timeline), (RecordingPlacement{1, 0, 1, 0}));
}

TEST(LiveRecording, WrapsOrHoldsThePlaybackFrame)
{
    EXPECT_EQ(recordingFrame(4500, 4000, true), 500);
    EXPECT_EQ(recordingFrame(4500, 4000, false), 3999);
    EXPECT_EQ(recordingFrame(-3, 4000, true), 0);
    EXPECT_EQ(recordingFrame(12, 0, true), 0);
    EXPECT_EQ(recordingPass(3999, 4000), 0);
    EXPECT_EQ(recordingPass(8000, 4000), 2);
    EXPECT_EQ(recordingPass(8000, 0), 8000);
}

TEST(LiveRecording, GateCountsTheFramesHeld)
{
    struct Case {
        const char* name;
        std::int64_t start, end, rowDuration;
        double expected;
    };
    const Case cases[] = {
        {"three rows held", 500, 3500, 1000, 3.0},
        {"released in the frame it started counts one frame, then the lower bound", 500, 500, 1000, 0.01},
        {"released before it started counts one frame", 500, 100, 1000, 0.01},
        {"held across the loop end counts the frames played", 3500, 4700, 1000, 1.2},
        {"no transport frame: end is start plus one row", 500, 1500, 1000, 1.0},
        {"held longer than sixteen rows", 0, 100000, 1000, 16.0},
        {"a row without frames counts as one frame long", 0, 5, 0, 5.0},
        {"extreme frames do not overflow", std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), 1000, 16.0},
    };
    for (const auto& [name, start, end, rowDuration, expected] : cases) {
        EXPECT_DOUBLE_EQ(recordedGate(start, end, rowDuration), expected) << name;
    }
}

TEST(LiveRecording, VolumeFollowsTheVelocity)
{
    const std::pair<int, int> cases[] = {{127, 64}, {100, 50}, {64, 32}, {1, 0}, {0, 0}, {-5, 0}, {500, 64}};
    for (const auto& [velocity, volume] : cases) EXPECT_EQ(recordedVolume(velocity), volume) << velocity;
}

TEST(LiveRecording, StepOverdubKeepsTheRestOfTheCellAndReplaceClearsIt)
{
    Cell full;
    full.note = NoteOff{};
    full.instrument = 3;
    full.volume = 10;
    full.effects = {Effect{EffectType::pan, 0x20}, Effect{EffectType::arpeggio, 0x37}};
    full.gate = 2.5;
    full.locks.push_back(ParameterLock{});

    Cell overdub = full;
    recordStepNote(overdub, 60, 1, 100, LiveRecordWriteMode::overdub);
    Cell expected = full;
    expected.note = NotePitch{60};
    expected.instrument = 1;
    expected.volume = 50;
    EXPECT_EQ(overdub, expected);

    Cell replaced = full;
    recordStepNote(replaced, 60, 1, 100, LiveRecordWriteMode::replace);
    Cell fresh;
    fresh.note = NotePitch{60};
    fresh.instrument = 1;
    fresh.volume = 50;
    EXPECT_EQ(replaced, fresh);
}

TEST(LiveRecording, RealtimeNotePutsItsDelayIntoTheEffectColumns)
{
    const Effect pan{EffectType::pan, 0x20};
    const Effect arpeggio{EffectType::arpeggio, 0x37};
    struct Case {
        const char* name;
        EffectSlots before;
        std::uint8_t delay;
        EffectSlots after;
    };
    const Case cases[] = {
        {"both columns taken: the delay replaces the second", {pan, arpeggio}, 5, {pan, delay(5)}},
        {"no delay: both stay", {pan, arpeggio}, 0, {pan, arpeggio}},
        {"an earlier take's delay goes, with a new delay", {delay(9), arpeggio}, 5, {arpeggio, delay(5)}},
        {"an earlier take's delay goes, without a new one", {pan, delay(9)}, 0, {pan, std::nullopt}},
        {"two delays both go", {delay(1), delay(2)}, 3, {delay(3), std::nullopt}},
        {"an empty first column takes the delay", {std::nullopt, pan}, 4, {delay(4), pan}},
        {"empty columns stay in their order", {std::nullopt, pan}, 0, {std::nullopt, pan}},
        {"an empty cell", {}, 15, {delay(15), std::nullopt}},
    };
    for (const auto& [name, before, delayValue, after] : cases) {
        Cell cell;
        cell.effects = before;
        cell.gate = 0.5;
        recordRealtimeNote(cell, 64, 2, 127, delayValue);
        EXPECT_EQ(cell.effects, after) << name;
        EXPECT_EQ(cell.note, StepNote{NotePitch{64}}) << name;
        EXPECT_EQ(cell.instrument, 2) << name;
        EXPECT_EQ(cell.volume, 64) << name;
        EXPECT_EQ(cell.gate, 0.5) << name << ": the gate waits for the release";
    }
}

TEST(LiveRecording, ModesHaveTheirPickerLabels)
{
    EXPECT_EQ(toRawValue(LiveRecordMode::step), "Step");
    EXPECT_EQ(toRawValue(LiveRecordMode::realtime), "Realtime");
    EXPECT_EQ(toRawValue(LiveRecordWriteMode::overdub), "Overdub");
    EXPECT_EQ(toRawValue(LiveRecordWriteMode::replace), "Replace");
    for (const auto mode : allLiveRecordModes) EXPECT_EQ(fromRawValue<LiveRecordMode>(toRawValue(mode)), mode);
    for (const auto mode : allLiveRecordWriteModes) EXPECT_EQ(fromRawValue<LiveRecordWriteMode>(toRawValue(mode)), mode);
    EXPECT_EQ(fromRawValue<LiveRecordMode>("step"), std::nullopt);
    EXPECT_EQ(fromRawValue<LiveRecordWriteMode>("Overdub "), std::nullopt);
    EXPECT_EQ(fromRawValue<LiveRecordWriteMode>("Step"), std::nullopt);
}
