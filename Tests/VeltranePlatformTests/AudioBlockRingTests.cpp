#include "AllocationCounter.hpp"

#include "VeltranePlatform/Audio/AudioBlockRing.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

// Appends `frames` frames of a ramp that goes on from `next`: channel c of frame n holds n * 10 + c.
void appendRamp(AudioBlockRing& ring, int channelCount, int frames, int& next)
{
    std::vector<std::vector<float>> channels(static_cast<std::size_t>(channelCount), std::vector<float>(static_cast<std::size_t>(frames)));
    std::vector<const float*> pointers;
    for (int c = 0; c < channelCount; ++c) {
        for (int i = 0; i < frames; ++i) channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] = static_cast<float>((next + i) * 10 + c);
        pointers.push_back(channels[static_cast<std::size_t>(c)].data());
    }
    ring.append(pointers.data(), channelCount, frames);
    next += frames;
}

TEST(AudioBlockRing, PublishesWholeInterleavedBlocksInOrder)
{
    AudioBlockRing ring(2, 4, 8);
    int next = 0;
    appendRamp(ring, 2, 3, next);
    EXPECT_FALSE(ring.front()) << "a block is handed on only when it is full";
    appendRamp(ring, 2, 7, next); // fills two blocks and starts a third
    for (int block = 0; block < 2; ++block) {
        const auto taken = ring.front();
        ASSERT_TRUE(taken);
        ASSERT_EQ(taken->frames, 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(taken->samples[i * 2], static_cast<float>((block * 4 + i) * 10));
            EXPECT_EQ(taken->samples[i * 2 + 1], static_cast<float>((block * 4 + i) * 10 + 1));
        }
        ring.pop();
    }
    EXPECT_FALSE(ring.front());
    ring.flush(); // the end of a take: the two frames begun are handed on as a short block
    const auto rest = ring.front();
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->frames, 2);
    EXPECT_EQ(rest->samples[0], 80.0f);
    EXPECT_EQ(rest->samples[3], 91.0f);
    ring.pop();
    ring.flush();
    EXPECT_FALSE(ring.front()) << "nothing begun, nothing to flush";
    EXPECT_EQ(ring.droppedFrames(), 0);
}

TEST(AudioBlockRing, FitsTheDeliveredChannelsToItsOwn)
{
    AudioBlockRing stereo(2, 2, 4);
    int next = 0;
    appendRamp(stereo, 1, 2, next); // a mono block: the right side is silence
    ASSERT_TRUE(stereo.front());
    EXPECT_EQ(stereo.front()->samples[0], 0.0f);
    EXPECT_EQ(stereo.front()->samples[1], 0.0f);
    EXPECT_EQ(stereo.front()->samples[2], 10.0f);
    EXPECT_EQ(stereo.front()->samples[3], 0.0f);

    AudioBlockRing mono(1, 2, 4);
    next = 0;
    appendRamp(mono, 3, 2, next); // channels beyond the ring's are left out
    ASSERT_TRUE(mono.front());
    EXPECT_EQ(mono.front()->samples[1], 10.0f);
}

TEST(AudioBlockRing, DropsAndCountsWhatArrivesWhileEveryBlockWaits)
{
    AudioBlockRing ring(1, 4, 2);
    int next = 0;
    appendRamp(ring, 1, 8, next); // both blocks full
    appendRamp(ring, 1, 5, next);
    EXPECT_EQ(ring.droppedFrames(), 5);
    ring.pop(); // one block free again: recording goes on from the next delivery
    appendRamp(ring, 1, 4, next);
    EXPECT_EQ(ring.droppedFrames(), 5);
    EXPECT_EQ(ring.front()->samples[0], 40.0f);
    ring.pop();
    EXPECT_EQ(ring.front()->samples[0], 130.0f);
}

TEST(AudioBlockRing, AppendingNeverAllocates)
{
    AudioBlockRing ring(2, 1024, 4);
    std::vector<float> left(300, 0.5f);
    std::vector<float> right(300, -0.5f);
    const float* channels[] = {left.data(), right.data()};
    testing::AllocationCounter counter;
    for (int i = 0; i < 40; ++i) {
        ring.append(channels, 2, 300);
        if (ring.front()) ring.pop();
    }
    ring.flush();
    EXPECT_EQ(counter.count(), 0);
}

// The device thread appends blocks of its own length while a writer takes them: every frame arrives
// once and in order (or is counted as dropped, should the writer here fall behind), whatever the two
// lengths.
TEST(AudioBlockRing, CarriesEveryFrameAcrossThreadsInOrder)
{
    constexpr int total = 200000;
    AudioBlockRing ring(2, 1024, 64);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        int next = 0;
        while (next < total) appendRamp(ring, 2, std::min(173, total - next), next);
        ring.flush();
        producing = false;
    });
    int received = 0;
    float previous = -10.0f;
    bool inOrder = true;
    for (;;) {
        const bool done = !producing.load();
        while (const auto block = ring.front()) {
            for (int i = 0; i < block->frames; ++i) {
                const float left = block->samples[i * 2];
                if (left <= previous || block->samples[i * 2 + 1] != left + 1.0f) inOrder = false;
                previous = left;
                ++received;
            }
            ring.pop();
        }
        if (done) break;
        std::this_thread::yield();
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received + ring.droppedFrames(), total);
    EXPECT_GT(received, 0);
}

} // namespace
} // namespace veltrane
