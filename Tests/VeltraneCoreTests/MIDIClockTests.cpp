#include "VeltraneCore/MIDIRealtime/MIDIClockFollow.hpp"
#include "VeltraneCore/MIDIRealtime/MIDIClockSend.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;

namespace {

constexpr std::uint64_t second = 1'000'000'000;

Project patternProject(int rows, int rowsPerBeat = 4)
{
    Project project;
    project.rowsPerBeat = rowsPerBeat;
    project.patterns.clear();
    project.patterns.emplace_back("P", rows, 1);
    return project;
}

/// Patterns of 64 rows and a song of (pattern, repeats) blocks.
Project songProject(const std::vector<std::pair<int, int>>& blocks)
{
    Project project;
    project.patterns.clear();
    project.patterns.emplace_back("A", 64, 1);
    project.patterns.emplace_back("B", 64, 1);
    project.arrangement->blocks.clear();
    for (const auto& [pattern, repeats] : blocks) project.arrangement->blocks.push_back({.pattern = pattern, .repeats = repeats});
    return project;
}

MIDIShortMessage bytes(std::uint8_t a) { return {{a, 0, 0}, 1}; }
MIDIShortMessage bytes(std::uint8_t a, std::uint8_t b, std::uint8_t c) { return {{a, b, c}, 3}; }

} // namespace

TEST(MIDIClockFollow, MeasuresTheTempoFromThirteenClocks)
{
    MIDIClockTempoEstimate estimate;
    const std::uint64_t start = 5 * second;
    for (int i = 0; i < 12; ++i) EXPECT_FALSE(estimate.receive(start + i * second / 48)) << i;
    EXPECT_EQ(estimate.bpm(), std::nullopt);
    EXPECT_TRUE(estimate.receive(start + 12 * second / 48));
    ASSERT_TRUE(estimate.bpm());
    EXPECT_NEAR(*estimate.bpm(), 120.0, 1e-6);

    // Later measurements move the tempo by a fifth of the difference: clocks at 150 BPM after 25
    // stamps at 120 measure a mix of both intervals, and the estimate moves towards it.
    std::uint64_t t = start + 12 * second / 48;
    for (int i = 13; i < 25; ++i) estimate.receive(t += second / 48);
    EXPECT_NEAR(*estimate.bpm(), 120.0, 1e-6);
    EXPECT_EQ(estimate.stamps().size(), 25u);
    const double before = *estimate.bpm();
    t += second * 60 / 150 / 24;
    ASSERT_TRUE(estimate.receive(t));
    const double measured = 60.0 / ((static_cast<double>(t - estimate.stamps().front()) / 1e9 / 24.0) * 24.0);
    EXPECT_NEAR(*estimate.bpm(), 0.2 * measured + 0.8 * before, 1e-9);
    EXPECT_EQ(estimate.stamps().size(), 25u);
}

TEST(MIDIClockFollow, IgnoresClocksThatGiveNoTempo)
{
    MIDIClockTempoEstimate tooFast;
    for (int i = 0; i < 30; ++i) EXPECT_FALSE(tooFast.receive(second + i * second / 1000)); // 2500 BPM
    EXPECT_EQ(tooFast.bpm(), std::nullopt);

    MIDIClockTempoEstimate tooSlow;
    for (int i = 0; i < 30; ++i) EXPECT_FALSE(tooSlow.receive(second + i * second)); // 2.5 BPM
    EXPECT_EQ(tooSlow.bpm(), std::nullopt);

    MIDIClockTempoEstimate sameStamp;
    for (int i = 0; i < 30; ++i) EXPECT_FALSE(sameStamp.receive(second));
    EXPECT_EQ(sameStamp.bpm(), std::nullopt);

    // A measurement stays when later ones are out of range: once the kept stamps are all 1 ms apart,
    // no clock moves the tempo.
    MIDIClockTempoEstimate kept;
    std::uint64_t t = second;
    for (int i = 0; i < 13; ++i) kept.receive(t += second / 48);
    ASSERT_TRUE(kept.bpm());
    for (int i = 0; i < 24; ++i) kept.receive(t += second / 1000);
    const double last = *kept.bpm();
    EXPECT_GE(last, 20.0);
    EXPECT_LE(last, 400.0);
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(kept.receive(t += second / 1000));
    EXPECT_EQ(kept.bpm(), last);
}

TEST(MIDIClockFollow, RateFollowsTheTempoAndCorrectsTheLag)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        double external, scheduled, expected, actual, sampleRate, rate;
    };
    const Case cases[] = {
        {"in step", 120, 120, 48000, 48000, 48000, 1.0},
        {"half a second behind", 120, 120, 48000, 24000, 48000, 1.25},
        {"a quarter second ahead", 120, 120, 24000, 36000, 48000, 0.875},
        {"faster external tempo", 132, 120, 0, 0, 48000, 1.1},
        {"too fast is held", 372, 120, 0, 0, 48000, 2.0},
        {"too slow is held", 24, 120, 0, 0, 48000, 0.5},
        {"a scheduled tempo below 1 uses the external tempo", 1.5, 0.5, 0, 0, 48000, 1.5},
        {"not a number", nan, 120, 0, 0, 48000, 0.5},
        {"no sample rate counts as 1", 120, 120, 0.5, 0, 0, 1.25},
    };
    for (const auto& [name, external, scheduled, expected, actual, sampleRate, rate] : cases) {
        EXPECT_DOUBLE_EQ(midiTransportRate(external, scheduled, expected, actual, sampleRate), rate) << name;
    }
    EXPECT_DOUBLE_EQ(midiExpectedFrames(48000, 48, 120), 48000); // two beats of clocks = one second
}

TEST(MIDIClockSend, StartsWithTheSongPositionAndStartOnlyAtZero)
{
    const auto pattern = patternProject(64);
    const auto song = songProject({{0, 2}, {1, 1}});
    struct Case {
        const char* name;
        const Project& project;
        bool songMode;
        int block, row;
        MIDIShortMessage pointer, startOrContinue;
    };
    const Case cases[] = {
        {"pattern at row 0", pattern, false, 0, 0, bytes(0xF2, 0x00, 0x00), bytes(0xFA)},
        {"pattern at row 10", pattern, false, 0, 10, bytes(0xF2, 0x0A, 0x00), bytes(0xFB)},
        {"pattern at row 200", pattern, false, 0, 200, bytes(0xF2, 0x48, 0x01), bytes(0xFB)},
        {"song, row 0 of a later block continues from its position", song, true, 1, 0, bytes(0xF2, 0x00, 0x01), bytes(0xFB)},
        {"song, row 0 of the first block starts", song, true, 0, 0, bytes(0xF2, 0x00, 0x00), bytes(0xFA)},
        {"song, row 8 of block 1", song, true, 1, 8, bytes(0xF2, 0x08, 0x01), bytes(0xFB)},
        {"negative row counts as 0", pattern, false, 0, -7, bytes(0xF2, 0x00, 0x00), bytes(0xFA)},
    };
    for (const auto& [name, project, songMode, block, row, pointer, startOrContinue] : cases) {
        const auto start = midiClockStart(project, songMode, block, row);
        EXPECT_EQ(start.songPositionPointer, pointer) << name;
        EXPECT_EQ(start.startOrContinue, startOrContinue) << name;
    }

    // Two rows per beat: row 3 is six sixteenths, and a row that rounds down to position 0 starts.
    EXPECT_EQ(midiClockStart(patternProject(64, 2), false, 0, 3).songPosition, 6);
    EXPECT_EQ(midiClockStart(patternProject(64, 8), false, 0, 1).startOrContinue, bytes(0xFA));
}

TEST(MIDIClockSend, SendsOnlyTheLowFourteenBitsAndStartsWhenTheyAreZero)
{
    const auto pattern = patternProject(20000, 1);
    const auto start = midiClockStart(pattern, false, 0, 4096); // 16384 sixteenths
    EXPECT_EQ(start.songPosition, 0);
    EXPECT_EQ(start.songPositionPointer, bytes(0xF2, 0x00, 0x00));
    EXPECT_EQ(start.startOrContinue, bytes(0xFA));
}

TEST(MIDIClockSend, SchedulesEveryClockOnceFromTheStart)
{
    MIDIClockSchedule schedule(10 * second, 120);
    EXPECT_DOUBLE_EQ(schedule.intervalNanos(), second / 48.0);
    // The first batch reaches 1.5 s ahead of a wake-up at the start: the origin and 72 more clocks.
    const auto first = schedule.takeUntil(10 * second + midiClockLookAheadNanos);
    ASSERT_EQ(first.size(), 73u);
    EXPECT_EQ(first.front(), 10 * second);
    // A late wake-up sends what fell due meanwhile and nothing twice; an early one sends nothing.
    EXPECT_TRUE(schedule.takeUntil(10 * second + second).empty());
    const auto second_ = schedule.takeUntil(10 * second + 2 * second + midiClockLookAheadNanos);
    ASSERT_EQ(second_.size(), 96u);
    EXPECT_EQ(second_.front(), schedule.timeOf(73));
    EXPECT_EQ(second_.back(), 10 * second + 2 * second + midiClockLookAheadNanos);
    EXPECT_EQ(schedule.taken(), 169);

    // Times are counted from the start: after an hour at 120 BPM the clock is exactly on the hour.
    EXPECT_EQ(schedule.timeOf(48 * 3600), 10 * second + 3600 * second);
    // An awkward tempo rounds each clock on its own, never more than half a nanosecond off.
    MIDIClockSchedule awkward(0, 133.7);
    const double interval = 60e9 / 133.7 / 24;
    for (std::int64_t k : {1LL, 1000LL, 1000000LL}) EXPECT_NEAR(static_cast<double>(awkward.timeOf(k)), k * interval, 0.5 + 1e-6 * k);
}

TEST(MIDIClockSend, SchedulesNothingWithoutATempo)
{
    for (const double bpm : {0.0, -120.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        MIDIClockSchedule schedule(second, bpm);
        EXPECT_TRUE(schedule.takeUntil(100 * second).empty()) << bpm;
    }
}

TEST(MIDIClockSeek, MovesTheCursorToTheReceivedPosition)
{
    const auto pattern = patternProject(64);
    const auto song = songProject({{0, 2}, {1, 1}});
    auto withoutArrangement = songProject({});
    withoutArrangement.arrangement.reset();
    withoutArrangement.order = {1, 0};
    struct Case {
        const char* name;
        const Project& project;
        bool songMode;
        int patternIndex;
        int position;
        MIDISeekTarget expected;
    };
    const Case cases[] = {
        {"pattern mode wraps into the pattern", pattern, false, 0, 200, {std::nullopt, std::nullopt, 8}},
        {"pattern mode from the start", pattern, false, 0, 0, {std::nullopt, std::nullopt, 0}},
        {"pattern mode before the start", pattern, false, 0, -9, {std::nullopt, std::nullopt, 0}},
        {"pattern mode with an invalid current pattern", pattern, false, 3, 12, {std::nullopt, std::nullopt, 0}},
        {"song mode in the second pass of the first block", song, true, 0, 70, {0, 0, 6}},
        {"song mode in the second block", song, true, 0, 130, {1, 1, 2}},
        {"song mode past the end lands on the last row", song, true, 0, 1000, {1, 1, 63}},
        {"song mode without an arrangement keeps the pattern", withoutArrangement, true, 0, 70, {1, std::nullopt, 6}},
    };
    for (const auto& [name, project, songMode, patternIndex, position, expected] : cases) {
        EXPECT_EQ(midiSeekTarget(position, project, songMode, patternIndex), expected) << name;
    }
}
