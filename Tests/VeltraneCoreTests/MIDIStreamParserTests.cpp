#include "VeltraneCore/MIDIRealtime/MIDIStreamParser.hpp"

#include "AllocationCounter.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace veltrane;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<MIDIStreamEvent>;

Events parse(const Bytes& bytes)
{
    MIDIStreamParser parser;
    return parser.consume(bytes);
}

} // namespace

TEST(MIDIStreamParser, ReadsTheseStreams)
{
    struct Case {
        const char* name;
        Bytes bytes;
        Events expected;
    };
    const Case cases[] = {
        {"note on, then running status with velocity 0", {0x90, 0x3C, 0x64, 0x3C, 0x00},
         {MIDINoteOnEvent{60, 100}, MIDINoteOffEvent{60}}},
        {"clock between the data bytes of a note on", {0x90, 0x3C, 0xF8, 0x64}, {MIDIClockEvent{}, MIDINoteOnEvent{60, 100}}},
        {"system exclusive clears the running status", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x3C, 0x64}, {}},
        {"song position, low bits first", {0xF2, 0x00, 0x08}, {MIDISongPositionEvent{1024}}},
        {"largest song position", {0xF2, 0x7F, 0x7F}, {MIDISongPositionEvent{16383}}},
        {"a new status drops an unfinished note on", {0x90, 0x3C, 0x80, 0x3C, 0x40}, {MIDINoteOffEvent{60}}},
        {"program change and control change yield nothing", {0xC0, 0x05, 0x06, 0xB0, 0x07, 0x7F}, {}},
        {"program change keeps its status for the next byte", {0xC3, 0x05, 0x06, 0x07}, {}},
        {"active sensing and reset yield nothing", {0xFE, 0xFF, 0xF9, 0xFD}, {}},
        {"the transport messages", {0xFA, 0xFB, 0xFC, 0xF8},
         {MIDIStartEvent{}, MIDIContinueEvent{}, MIDIStopEvent{}, MIDIClockEvent{}}},
        {"every channel alike", {0x9F, 0x40, 0x7F, 0x8A, 0x40, 0x00}, {MIDINoteOnEvent{64, 127}, MIDINoteOffEvent{64}}},
        {"note off keeps its running status", {0x80, 0x3C, 0x40, 0x3E, 0x40}, {MIDINoteOffEvent{60}, MIDINoteOffEvent{62}}},
        {"pitch bend, pressure and channel pressure keep the status and yield nothing",
         {0xE0, 0x00, 0x40, 0x00, 0x40, 0xA0, 0x3C, 0x10, 0xD0, 0x10, 0x11}, {}},
        {"data bytes without a status are ignored", {0x3C, 0x64, 0x90, 0x3C, 0x64}, {MIDINoteOnEvent{60, 100}}},
        {"time code and song select data are skipped", {0xF1, 0x10, 0xF3, 0x02, 0x3C, 0x64}, {}},
        {"tune request and undefined system statuses clear the status", {0x90, 0xF6, 0x3C, 0x64, 0xF4, 0x01, 0x02}, {}},
        {"a song position does not run on", {0xF2, 0x01, 0x00, 0x05, 0x06}, {MIDISongPositionEvent{1}}},
        {"real-time bytes inside a song position", {0xF2, 0x05, 0xFA, 0x01}, {MIDIStartEvent{}, MIDISongPositionEvent{133}}},
        {"end of exclusive alone clears the status", {0x90, 0xF7, 0x3C, 0x64}, {}},
    };
    for (const auto& [name, bytes, expected] : cases) {
        EXPECT_EQ(parse(bytes), expected) << name;
    }
}

TEST(MIDIStreamParser, AMessageSplitAcrossDeliveriesCompletesWithTheLast)
{
    MIDIStreamParser parser;
    EXPECT_TRUE(parser.consume(Bytes{0xF2, 0x05}).empty());
    EXPECT_EQ(parser.consume(Bytes{0x01}), (Events{MIDISongPositionEvent{133}}));

    EXPECT_TRUE(parser.consume(Bytes{0x90, 0x3C}).empty());
    EXPECT_EQ(parser.consume(Bytes{0x64}), (Events{MIDINoteOnEvent{60, 100}}));
    // The running status outlives the delivery.
    EXPECT_EQ(parser.consume(Bytes{0x3C, 0x00}), (Events{MIDINoteOffEvent{60}}));
}

TEST(MIDIStreamParser, HowTheBytesAreCutNeverChangesTheEvents)
{
    // A stream of every kind of byte, read whole and then cut at random places, must yield the same
    // events: the parser's state alone carries a message from one delivery to the next.
    std::mt19937 random(20);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes stream(4000);
    for (auto& b : stream) b = static_cast<std::uint8_t>(byte(random));
    const Events whole = parse(stream);
    ASSERT_FALSE(whole.empty());
    for (int trial = 0; trial < 20; ++trial) {
        MIDIStreamParser parser;
        Events pieces;
        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t length = std::min<std::size_t>(stream.size() - at, std::uniform_int_distribution<std::size_t>(0, 7)(random));
            for (const auto& event : parser.consume(std::span(stream).subspan(at, length))) pieces.push_back(event);
            at += length;
        }
        EXPECT_EQ(pieces, whole) << "trial " << trial;
    }
}

TEST(MIDIStreamParser, NotesOnlyCarryDataBytes)
{
    // Whatever arrives, a note or a song position never holds a value beyond its data bytes' range.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    MIDIStreamParser parser;
    for (int i = 0; i < 200000; ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(byte(random));
        parser.consume(std::span(&b, 1), [](const MIDIStreamEvent& event) {
            if (auto on = std::get_if<MIDINoteOnEvent>(&event)) {
                ASSERT_TRUE(on->note >= 0 && on->note <= 127 && on->velocity >= 1 && on->velocity <= 127);
            } else if (auto off = std::get_if<MIDINoteOffEvent>(&event)) {
                ASSERT_TRUE(off->note >= 0 && off->note <= 127);
            } else if (auto position = std::get_if<MIDISongPositionEvent>(&event)) {
                ASSERT_TRUE(position->position >= 0 && position->position <= 16383);
            }
        });
    }
}

TEST(MIDIStreamParser, ReadingIntoASinkMakesNoHeapAllocation)
{
    const Bytes stream{0x90, 0x3C, 0x64, 0xF8, 0x3C, 0x00, 0xF2, 0x05, 0x01, 0xF0, 0x01, 0xF7, 0xFA, 0xFC};
    MIDIStreamParser parser;
    int events = 0;
    std::int64_t allocations = -1;
    {
        veltrane::testing::AllocationCounter counter;
        parser.consume(stream, [&](const MIDIStreamEvent&) { ++events; });
        allocations = counter.count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(events, 6);
}

TEST(MIDIStreamParser, ParsersWithTheSameStateAreEqual)
{
    MIDIStreamParser a;
    MIDIStreamParser b;
    a.consume(Bytes{0x90, 0x3C, 0x64});
    b.consume(Bytes{0x91, 0x90});
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.runningStatus(), std::optional<std::uint8_t>(0x90));
    a.consume(Bytes{0x3C});
    EXPECT_NE(a, b);
    EXPECT_EQ(a.pending().size(), 1u);
    EXPECT_EQ(MIDIStreamParser{}.runningStatus(), std::nullopt);
}
