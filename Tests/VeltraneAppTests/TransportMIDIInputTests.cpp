// The application's MIDI connection without ports: bytes as a MIDI service delivers them, from its
// own thread, reach the handlers parsed, in order, on the main thread's event loop.

#include "Veltrane/Transport/MIDIInput.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

/// Every handler of `input`, writing what it heard as text.
void listen(MIDIInput& input, std::vector<std::string>& heard, std::thread::id& thread)
{
    auto note = [&](const std::string& text) {
        heard.push_back(text);
        thread = std::this_thread::get_id();
    };
    input.onNoteOn = [=](int n, int v) { note("on " + std::to_string(n) + " " + std::to_string(v)); };
    input.onNoteOff = [=](int n) { note("off " + std::to_string(n)); };
    input.onClock = [=](std::uint64_t t) { note("clock " + std::to_string(t)); };
    input.onStart = [=](std::uint64_t t) { note("start " + std::to_string(t)); };
    input.onContinue = [=](std::uint64_t t) { note("continue " + std::to_string(t)); };
    input.onStop = [=](std::uint64_t t) { note("stop " + std::to_string(t)); };
    input.onSongPosition = [=](int p) { note("position " + std::to_string(p)); };
}

void processEventsUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

TEST(TransportMIDIInput, EventsFromTheReceiveThreadReachTheHandlersInOrderOnTheMainThread)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    MIDIInput input{MIDIInput::WithoutPorts{}};
    std::vector<std::string> heard;
    std::thread::id handlerThread;
    listen(input, heard, handlerThread);

    std::thread service([&] {
        using B = std::vector<std::uint8_t>;
        // A note split over two deliveries, running status, a clock between data bytes, the transport,
        // a song position and bytes the parser passes over.
        const std::vector<B> deliveries = {{0x90, 0x3C}, {0x64, 0x3C, 0x00}, {0x91, 0x40, 0xF8, 0x7F},
                                           {0xB0, 0x07, 0x7F, 0xC0, 0x05}, {0xFA, 0xF2, 0x00, 0x08, 0xFB, 0xFC}};
        std::uint64_t time = 1000;
        for (const auto& bytes : deliveries) input.receive(0, bytes, time++);
    });
    service.join();
    const std::vector<std::string> expected = {"on 60 100",  "off 60",       "clock 1002", "on 64 127",
                                               "start 1004", "position 1024", "continue 1004", "stop 1004"};
    processEventsUntil([&] { return heard.size() >= expected.size(); });
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST(TransportMIDIInput, EachStreamKeepsItsOwnUnfinishedMessage)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    MIDIInput input{MIDIInput::WithoutPorts{}};
    std::vector<std::string> heard;
    std::thread::id handlerThread;
    listen(input, heard, handlerThread);
    const std::uint8_t first[] = {0x90, 0x30};
    const std::uint8_t second[] = {0x90, 0x40, 0x10};
    const std::uint8_t rest[] = {0x20};
    input.receive(0, first, 1);
    input.receive(1, second, 2);
    input.receive(0, rest, 3);
    input.deliverPending();
    EXPECT_EQ(heard, (std::vector<std::string>{"on 48 32", "on 64 16"}));
}

TEST(TransportMIDIInput, AFullRingDropsTheNewestEventsAndALongDeliveryIsCut)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    MIDIInput input{MIDIInput::WithoutPorts{}};
    int clocks = 0;
    input.onClock = [&](std::uint64_t) { ++clocks; };
    // 300 clocks in one delivery: only the first 256 bytes are read.
    const std::vector<std::uint8_t> many(300, 0xF8);
    input.receive(0, many, 0);
    input.deliverPending();
    EXPECT_EQ(clocks, 256);

    // More than the ring holds before the main thread empties it: the rest is dropped, not the oldest.
    clocks = 0;
    const std::vector<std::uint8_t> burst(256, 0xF8);
    for (std::size_t i = 0; i < MIDIInput::ringCapacity / 256 + 2; ++i) input.receive(0, burst, 0);
    input.deliverPending();
    EXPECT_EQ(clocks, static_cast<int>(MIDIInput::ringCapacity));
    // The stream goes on once there is room.
    input.receive(0, burst, 0);
    input.deliverPending();
    EXPECT_EQ(clocks, static_cast<int>(MIDIInput::ringCapacity) + 256);
}

} // namespace
} // namespace veltrane
