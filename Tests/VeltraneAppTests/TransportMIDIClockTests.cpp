// MIDI clock through the model: what a playback sends to clock receivers and when, how a stop ends it,
// how received clocks set the tempo and the playback rate, and how received Start, Continue, Stop and
// Song Position drive the transport.

#include "TransportTestSupport.hpp"

#include "VeltraneCore/MIDIRealtime/SongPosition.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace veltrane {
namespace {

using namespace testing;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t clockInterval120 = 1'000'000'000 / 48; // ns, at 120 BPM

std::vector<ScriptedMIDI::Sent> messagesOtherThanClocks(const ScriptedMIDI& midi)
{
    std::vector<ScriptedMIDI::Sent> result;
    for (const auto& sent : midi.sent) {
        if (sent.bytes != Bytes{0xF8}) result.push_back(sent);
    }
    return result;
}

std::vector<std::uint64_t> clockTimes(const ScriptedMIDI& midi)
{
    std::vector<std::uint64_t> times;
    for (const auto& sent : midi.sent) {
        if (sent.bytes == Bytes{0xF8}) times.push_back(sent.time);
    }
    return times;
}

/// A model with clock sending on, playing `songProject()`.
AppModel& sendingModel(ModelHarness& harness)
{
    auto& model = harness.make();
    model.setProject(songProject());
    model.setMidiClockSend(true);
    return model;
}

TEST(TransportMIDIClock, APlaybackSendsItsSongPositionThenStartOrContinueAtItsStartTime)
{
    struct Case {
        bool songMode;
        int block, row;
        Bytes position;
        std::uint8_t startOrContinue;
    };
    // 4 rows a beat: a row is a sixteenth. In song mode the earlier blocks count: block 1 starts at 4.
    const Case cases[] = {
        {false, 0, 0, {0xF2, 0x00, 0x00}, 0xFA},
        {false, 0, 3, {0xF2, 0x03, 0x00}, 0xFB},
        {true, 0, 0, {0xF2, 0x00, 0x00}, 0xFA},
        {true, 1, 0, {0xF2, 0x04, 0x00}, 0xFB}, // row 0 of a later block is not the song's start
        {true, 2, 1, {0xF2, 0x09, 0x00}, 0xFB},
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = sendingModel(harness);
        model.setSongMode(c.songMode);
        model.setSelectedSongBlock(c.block);
        model.setSelectedRow(c.row);
        playNow(harness);
        const auto sent = messagesOtherThanClocks(*harness.midi);
        ASSERT_EQ(sent.size(), 2u);
        const std::uint64_t start = harness.engine->scheduleStart;
        EXPECT_EQ(sent[0], (ScriptedMIDI::Sent{c.position, start})) << "block " << c.block << ", row " << c.row;
        EXPECT_EQ(sent[1], (ScriptedMIDI::Sent{{c.startOrContinue}, start})) << "block " << c.block << ", row " << c.row;
        ASSERT_FALSE(clockTimes(*harness.midi).empty());
        EXPECT_EQ(clockTimes(*harness.midi).front(), start);
    }
}

TEST(TransportMIDIClock, TheSongPositionSentIsWherePlaybackStartsNotWhereTheCursorMovedSince)
{
    ModelHarness harness;
    auto& model = sendingModel(harness);
    model.setSelectedRow(2);
    model.play();
    model.setSelectedRow(0); // before the preparation has run
    harness.scheduler->advance(0ms);
    const auto sent = messagesOtherThanClocks(*harness.midi);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes, (Bytes{0xF2, 0x02, 0x00}));
    EXPECT_EQ(sent[1].bytes, Bytes{0xFB});
}

TEST(TransportMIDIClock, ClocksGoOutOnceEachUpToOneAndAHalfSecondsAhead)
{
    ModelHarness harness;
    sendingModel(harness);
    harness.midi->now = harness.engine->scheduleStart - 50'000'000; // the start lies 50 ms ahead
    playNow(harness);
    auto times = clockTimes(*harness.midi);
    const std::uint64_t start = harness.engine->scheduleStart;
    ASSERT_FALSE(times.empty());
    EXPECT_LE(times.back(), harness.midi->now + 1'500'000'000);
    EXPECT_GT(times.back() + clockInterval120 + 1, harness.midi->now + 1'500'000'000);

    // Three more wake-ups, half a second apart, with the host clock moving alike.
    for (int wake = 0; wake < 3; ++wake) {
        harness.midi->now += 500'000'000;
        harness.scheduler->advance(500ms);
    }
    times = clockTimes(*harness.midi);
    EXPECT_LE(times.back(), harness.midi->now + 1'500'000'000);
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double expected = static_cast<double>(start) + static_cast<double>(i) * 1e9 / 48;
        EXPECT_NEAR(static_cast<double>(times[i]), expected, 1.0) << "clock " << i;
    }
}

TEST(TransportMIDIClock, AUserStopDropsTheQueuedClocksAndSendsStopButAReceivedStopDoesNot)
{
    ModelHarness harness;
    auto& model = sendingModel(harness);
    playNow(harness);
    harness.midi->sent.clear();
    model.stop();
    ASSERT_EQ(harness.midi->sent.size(), 2u);
    EXPECT_TRUE(harness.midi->sent[0].bytes.empty()) << "the flush comes first";
    EXPECT_EQ(harness.midi->sent[1], (ScriptedMIDI::Sent{{0xFC}, 0}));
    harness.scheduler->advance(2000ms);
    EXPECT_TRUE(clockTimes(*harness.midi).empty()) << "the clock loop has ended";

    // A stop while stopped still tells the receivers.
    harness.midi->sent.clear();
    model.stop();
    EXPECT_EQ(harness.midi->sent.size(), 2u);

    // Following and leading at once: a received Stop stops us without echoing Stop back.
    model.setMidiClockReceive(true);
    playNow(harness);
    harness.midi->sent.clear();
    harness.midi->onStop(0);
    EXPECT_FALSE(model.isPlaying());
    EXPECT_TRUE(harness.midi->sent.empty());
}

/// Feeds `count` clocks `spacing` ns apart from `from` through the connection, as they would arrive.
std::uint64_t receiveClocks(ModelHarness& harness, int count, std::uint64_t spacing, std::uint64_t from)
{
    for (int i = 0; i < count; ++i) harness.midi->onClock(from + static_cast<std::uint64_t>(i) * spacing);
    return from + static_cast<std::uint64_t>(count) * spacing;
}

TEST(TransportMIDIClock, ReceivedClocksMeasureTheTempoFromThirteenOnAndSmoothIt)
{
    ModelHarness harness;
    auto& model = harness.make();
    receiveClocks(harness, 20, clockInterval120, 1'000'000);
    EXPECT_FALSE(model.externalClockBPM()) << "not following";
    EXPECT_TRUE(model.receivedClockTimes().empty());

    model.setMidiClockReceive(true);
    std::uint64_t next = receiveClocks(harness, 12, clockInterval120, 1'000'000);
    EXPECT_FALSE(model.externalClockBPM());
    next = receiveClocks(harness, 1, clockInterval120, next);
    ASSERT_TRUE(model.externalClockBPM());
    EXPECT_NEAR(*model.externalClockBPM(), 120, 0.01);

    EXPECT_EQ(model.receivedClockTimes().size(), 13u);

    // At 100 BPM each accepted clock moves the tempo a fifth of the way to what the stamps measure.
    next = receiveClocks(harness, 25, 25'000'000, next + 25'000'000);
    const double before = *model.externalClockBPM();
    receiveClocks(harness, 1, 25'000'000, next);
    EXPECT_NEAR(*model.externalClockBPM(), 0.2 * 100 + 0.8 * before, 1e-6);
    EXPECT_EQ(model.receivedClockTimes().size(), 25u);

    // Clocks 1 ms apart (2500 BPM) measure nothing.
    ModelHarness fast;
    auto& fastModel = fast.make();
    fastModel.setMidiClockReceive(true);
    receiveClocks(fast, 30, 1'000'000, 1'000'000);
    EXPECT_FALSE(fastModel.externalClockBPM());
}

TEST(TransportMIDIClock, WhilePlayingReceivedClocksSteerThePlaybackRate)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(songProject());
    model.setMidiClockReceive(true);
    std::uint64_t next = receiveClocks(harness, 13, clockInterval120, 1'000'000);
    harness.midi->onStart(next);
    harness.scheduler->advance(0ms);
    ASSERT_TRUE(model.isPlaying());
    EXPECT_EQ(model.playbackBaseBPM(), *model.externalClockBPM());
    EXPECT_EQ(model.externalClockTicks(), 0);

    // 48 clocks (one second at 120 BPM) arrive while our transport has played only half a second: the
    // rate goes up by a quarter for the half second of lag.
    harness.engine->frame = 24000;
    next = receiveClocks(harness, 48, clockInterval120, next);
    EXPECT_EQ(model.externalClockTicks(), 48);
    ASSERT_FALSE(harness.engine->transportRates.empty());
    EXPECT_NEAR(harness.engine->transportRates.back(), 1.25, 0.01);
}

TEST(TransportMIDIClock, AReceivedStartRestartsFromTheTopAndSendsNothingBack)
{
    ModelHarness harness;
    auto& model = sendingModel(harness);
    model.setMidiClockReceive(true);
    model.setSelectedRow(2);
    playNow(harness);
    playTo(harness, rowFrames * 3);
    harness.midi->sent.clear();

    harness.midi->onStart(0);
    harness.scheduler->advance(0ms);
    EXPECT_TRUE(model.isPlaying());
    ASSERT_EQ(harness.engine->schedules.size(), 2u);
    EXPECT_EQ(harness.engine->schedules[1].timeline.rows.front().row, 0);
    EXPECT_TRUE(harness.midi->sent.empty()) << "no Stop, song position, Start or clock echoed";
    EXPECT_FALSE(AppModelTestAccess::suppressNextMIDITransportSend(model));

    // The next playback the user starts sends again.
    model.stop();
    harness.midi->sent.clear();
    playNow(harness);
    EXPECT_EQ(messagesOtherThanClocks(*harness.midi).size(), 2u);
}

TEST(TransportMIDIClock, AReceivedStartOrContinueThatStartsNothingLeavesClockSendingAsItWas)
{
    for (const bool start : {true, false}) {
        ModelHarness harness;
        auto& model = sendingModel(harness);
        model.setMidiClockReceive(true);
        Project silent = model.project();
        silent.bpm = 0; // nothing to play
        model.setProject(silent);
        if (start) {
            harness.midi->onStart(0);
        } else {
            harness.midi->onContinue(0);
        }
        EXPECT_FALSE(model.isPreparingPlayback());
        EXPECT_FALSE(AppModelTestAccess::suppressNextMIDITransportSend(model));

        model.setProject(songProject());
        harness.midi->sent.clear();
        playNow(harness);
        EXPECT_EQ(messagesOtherThanClocks(*harness.midi).size(), 2u) << (start ? "Start" : "Continue");
    }
}

TEST(TransportMIDIClock, AReceivedContinuePlaysFromTheCursorOnlyWhenStopped)
{
    ModelHarness harness;
    auto& model = sendingModel(harness);
    model.setMidiClockReceive(true);
    harness.midi->onSongPosition(2);
    EXPECT_EQ(model.selectedRow(), 2);
    harness.midi->onContinue(0);
    EXPECT_TRUE(model.isPreparingPlayback());
    harness.midi->onContinue(0); // while preparing: ignored
    harness.scheduler->advance(0ms);
    ASSERT_EQ(harness.engine->schedules.size(), 1u);
    EXPECT_EQ(harness.engine->schedules[0].timeline.rows.front().row, 2);
    EXPECT_TRUE(harness.midi->sent.empty());
    harness.midi->onContinue(0); // while playing: ignored
    harness.scheduler->advance(0ms);
    EXPECT_EQ(harness.engine->schedules.size(), 1u);
}

TEST(TransportMIDIClock, TransportMessagesDoNothingUnlessFollowing)
{
    ModelHarness harness;
    auto& model = harness.make();
    harness.midi->onStart(0);
    harness.midi->onContinue(0);
    harness.midi->onSongPosition(8);
    harness.scheduler->advance(0ms);
    EXPECT_FALSE(model.isPlaying());
    EXPECT_EQ(model.selectedRow(), 0);
    playNow(harness);
    harness.midi->onStop(0);
    EXPECT_TRUE(model.isPlaying());
}

TEST(TransportMIDIClock, ASongPositionMovesTheCursorInPatternAndSongMode)
{
    ModelHarness harness;
    auto& model = harness.make(); // the demo pattern: 64 rows, 4 rows a beat
    model.seekMIDI(200);
    EXPECT_EQ(model.selectedRow(), 8);

    model.setProject(songProject());
    model.setSongMode(true);
    model.seekMIDI(5); // block 1 (pattern B), row 1
    EXPECT_EQ(model.selectedSongBlock(), 1);
    EXPECT_EQ(model.patternIndex(), 1);
    EXPECT_EQ(model.selectedRow(), 1);
    model.seekMIDI(16383); // past the end: the last row of the last block
    EXPECT_EQ(model.selectedSongBlock(), 2);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(model.selectedRow(), 3);
    EXPECT_FALSE(model.isPlaying());
    EXPECT_FALSE(model.canUndo()) << "a seek is no edit";
}

} // namespace
} // namespace veltrane
