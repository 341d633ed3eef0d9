#include "VeltranePlatform/MIDI/MIDIPorts.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>
#include <vector>

namespace veltrane {
namespace {

TEST(MIDIPorts, WithoutAServiceNothingOpensAndSendingGoesNowhere)
{
    std::atomic<int> deliveries{0};
    MIDIPorts ports([&](int, std::span<const std::uint8_t>, std::uint64_t) { ++deliveries; },
                    {.useALSASequencer = false, .useJACK = false});
    EXPECT_EQ(ports.streamCount(), 0);
    EXPECT_TRUE(ports.services().empty());
    const std::vector<std::uint8_t> stop{0xFC};
    ports.send(stop);
    ports.send(stop, 1);
    ports.flush();
    ports.rescan();
    EXPECT_TRUE(ports.connectedSources().empty());
    EXPECT_TRUE(ports.connectedDestinations().empty());
    EXPECT_EQ(deliveries.load(), 0);
}

TEST(MIDIPorts, TheSequencerIsLeftOutWhereTheMachineHasNone)
{
    if (::access("/dev/snd/seq", R_OK | W_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
    MIDIPorts ports([](int, std::span<const std::uint8_t>, std::uint64_t) {}, {.useJACK = false});
    EXPECT_TRUE(ports.services().empty());
}

} // namespace
} // namespace veltrane
