#include "VeltranePlatform/MIDI/HostTime.hpp"
#include "VeltranePlatform/MIDI/MIDISendQueue.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t millisecond = 1'000'000;

/// What reached the output, with the host time it got there.
struct Received {
    std::mutex mutex;
    std::vector<std::pair<std::vector<std::uint8_t>, std::uint64_t>> messages;

    MIDISendQueue::Output output()
    {
        return [this](std::span<const std::uint8_t> bytes) {
            std::lock_guard lock(mutex);
            messages.emplace_back(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), hostTimeNanos());
        };
    }
    std::size_t count()
    {
        std::lock_guard lock(mutex);
        return messages.size();
    }
};

bool waitForCount(Received& received, std::size_t count, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.count() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(MIDISendQueue, EachMessageLeavesAtItsTimeInTimeOrder)
{
    Received received;
    MIDISendQueue queue(received.output());
    const std::uint64_t start = hostTimeNanos() + 50 * millisecond;
    // Queued out of order: the later first, and two at the same time, which keep their order.
    queue.send(std::vector<std::uint8_t>{0xF8}, start + 60 * millisecond);
    queue.send(std::vector<std::uint8_t>{0xF2, 0x00, 0x00}, start);
    queue.send(std::vector<std::uint8_t>{0xFA}, start);
    queue.send(std::vector<std::uint8_t>{0xF8}, start + 30 * millisecond);
    ASSERT_TRUE(waitForCount(received, 4, 2000ms));

    std::lock_guard lock(received.mutex);
    const std::vector<std::vector<std::uint8_t>> order = {{0xF2, 0x00, 0x00}, {0xFA}, {0xF8}, {0xF8}};
    const std::uint64_t due[] = {start, start, start + 30 * millisecond, start + 60 * millisecond};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(received.messages[i].first, order[i]) << i;
        // Never early; late only by a thread's wake-up.
        EXPECT_GE(received.messages[i].second, due[i]) << i;
        EXPECT_LT(received.messages[i].second, due[i] + 20 * millisecond) << i;
    }
}

TEST(MIDISendQueue, AMessageForNowOrThePastLeavesAtOnce)
{
    Received received;
    MIDISendQueue queue(received.output());
    const std::uint64_t before = hostTimeNanos();
    queue.send(std::vector<std::uint8_t>{0xFC});
    queue.send(std::vector<std::uint8_t>{0xFA}, before - 500 * millisecond);
    ASSERT_TRUE(waitForCount(received, 2, 2000ms));
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.messages[0].first, std::vector<std::uint8_t>{0xFC});
    EXPECT_LT(received.messages[1].second, before + 100 * millisecond);
}

TEST(MIDISendQueue, FlushDropsWhatHasNotLeft)
{
    Received received;
    MIDISendQueue queue(received.output());
    const std::uint64_t now = hostTimeNanos();
    queue.send(std::vector<std::uint8_t>{0xF8}, now);
    for (int i = 1; i <= 50; ++i) queue.send(std::vector<std::uint8_t>{0xF8}, now + 200 * millisecond + i * 20 * millisecond);
    ASSERT_TRUE(waitForCount(received, 1, 2000ms));
    queue.flush();
    EXPECT_EQ(queue.waiting(), 0u);
    queue.send(std::vector<std::uint8_t>{0xFC});
    ASSERT_TRUE(waitForCount(received, 2, 2000ms));
    std::this_thread::sleep_for(400ms);
    std::lock_guard lock(received.mutex);
    ASSERT_EQ(received.messages.size(), 2u);
    EXPECT_EQ(received.messages[1].first, std::vector<std::uint8_t>{0xFC});
}

TEST(MIDISendQueue, DestroyingItDropsWhatWaits)
{
    Received received;
    {
        MIDISendQueue queue(received.output());
        queue.send(std::vector<std::uint8_t>{0xF8}, hostTimeNanos() + 10'000 * millisecond);
    } // must not wait ten seconds
    EXPECT_EQ(received.count(), 0u);
}

} // namespace
} // namespace veltrane
