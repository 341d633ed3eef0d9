#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace veltrane {
namespace {

using testing::impulseBuffer;
using testing::renderGraph;

constexpr double rate = 48000;

struct PlayerGraph {
    AudioGraph graph{rate, 256};
    std::shared_ptr<AudioPlayerNode> player = std::make_shared<AudioPlayerNode>();
    PlayerGraph()
    {
        graph.attach(player);
        graph.connect(*player, graph.mainMixer());
    }
};

std::vector<std::int64_t> nonZeroFrames(const AudioBuffer& buffer)
{
    std::vector<std::int64_t> frames;
    for (std::int64_t i = 0; i < buffer.frameLength(); ++i) {
        if (buffer.channel(0)[i] != 0.0f) frames.push_back(i);
    }
    return frames;
}

TEST(AudioPlayer, EachBufferSoundsAtItsOwnFrameWhateverTheQueueingOrder)
{
    // Queued out of order, and partly after the start: the count-in clicks of a loop reach their
    // player after the beat clicks of the first cycles.
    for (int block : {1, 7, 256, 1000}) {
        PlayerGraph setup;
        setup.player->scheduleBuffer(impulseBuffer(rate, 0.7f), 700);
        setup.player->scheduleBuffer(impulseBuffer(rate, 0.1f), 100);
        setup.player->play();
        setup.player->scheduleBuffer(impulseBuffer(rate, 0.4f), 400);
        setup.player->scheduleBuffer(impulseBuffer(rate, 0.05f), 100);
        auto out = renderGraph(setup.graph, 1000, block);
        EXPECT_EQ(nonZeroFrames(*out), (std::vector<std::int64_t>{100, 400, 700})) << "block " << block;
        EXPECT_FLOAT_EQ(out->channel(0)[100], 0.15f) << "block " << block; // two buffers at one frame are mixed
        EXPECT_EQ(out->channel(1)[400], 0.4f);
        EXPECT_EQ(out->channel(0)[700], 0.7f);
    }
}

TEST(AudioPlayer, StartsAtTheGraphFrameItWasGiven)
{
    PlayerGraph setup;
    renderGraph(setup.graph, 500);
    EXPECT_FALSE(setup.player->playerFrame().has_value());
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), 10);
    setup.player->play(1000);
    EXPECT_TRUE(setup.player->isPlaying());
    auto out = renderGraph(setup.graph, 1024); // graph frames 500 ... 1523
    EXPECT_EQ(nonZeroFrames(*out), std::vector<std::int64_t>{1010 - 500});
    // The last block began at graph frame 1268, which is player frame 268.
    EXPECT_EQ(setup.player->playerFrame(), 268);

    // A start time that has already passed keeps the player clock on it.
    PlayerGraph late;
    renderGraph(late.graph, 2000);
    late.player->play(1500);
    late.player->scheduleBuffer(impulseBuffer(rate, 1.0f), 600);
    auto lateOut = renderGraph(late.graph, 256);
    EXPECT_EQ(nonZeroFrames(*lateOut), std::vector<std::int64_t>{100});
    EXPECT_EQ(late.player->playerFrame(), 500);
}

TEST(AudioPlayer, OverlappingBuffersAreMixed)
{
    PlayerGraph setup;
    auto ones = testing::makeBuffer(300, rate, [](int, std::int64_t) { return 0.25f; });
    setup.player->scheduleBuffer(ones, 0);
    setup.player->scheduleBuffer(ones, 200);
    setup.player->play();
    auto out = renderGraph(setup.graph, 600);
    EXPECT_EQ(out->channel(0)[199], 0.25f);
    EXPECT_EQ(out->channel(0)[200], 0.5f);
    EXPECT_EQ(out->channel(0)[299], 0.5f);
    EXPECT_EQ(out->channel(0)[300], 0.25f);
    EXPECT_EQ(out->channel(0)[499], 0.25f);
    EXPECT_EQ(out->channel(0)[500], 0.0f);
}

TEST(AudioPlayer, CompletionsArriveWhenDrainedOnTheDrainingThread)
{
    PlayerGraph setup;
    std::vector<AudioPlayerCompletion> results;
    std::thread::id handlerThread;
    std::weak_ptr<const AudioBuffer> watched;
    {
        auto buffer = testing::noiseBuffer(300, rate, 0.5f);
        watched = buffer;
        setup.player->scheduleBuffer(std::move(buffer), 0, [&](AudioPlayerCompletion result) {
            results.push_back(result);
            handlerThread = std::this_thread::get_id();
        });
    }
    setup.player->play();
    std::thread renderer([&] { renderGraph(setup.graph, 512); });
    renderer.join();
    // Rendered, but nothing is delivered and nothing freed until the owner drains.
    EXPECT_TRUE(results.empty());
    EXPECT_FALSE(watched.expired());
    EXPECT_GE(setup.graph.drainCompletions(), 1u);
    EXPECT_EQ(results, std::vector<AudioPlayerCompletion>{AudioPlayerCompletion::played});
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    EXPECT_TRUE(watched.expired());
}

TEST(AudioPlayer, BufferCompletesOnlyAfterItsLastFrame)
{
    PlayerGraph setup;
    bool done = false;
    setup.player->scheduleBuffer(testing::noiseBuffer(300, rate, 0.5f), 0, [&](AudioPlayerCompletion) { done = true; });
    setup.player->play();
    renderGraph(setup.graph, 299, 299);
    setup.graph.drainCompletions();
    EXPECT_FALSE(done);
    renderGraph(setup.graph, 1, 1);
    setup.graph.drainCompletions();
    EXPECT_TRUE(done);
}

TEST(AudioPlayer, StopDropsEverythingItHolds)
{
    PlayerGraph setup;
    std::vector<std::pair<int, AudioPlayerCompletion>> results;
    auto record = [&](int id) { return [&results, id](AudioPlayerCompletion result) { results.emplace_back(id, result); }; };
    auto sound = testing::makeBuffer(200, rate, [](int, std::int64_t) { return 0.5f; });
    setup.player->scheduleBuffer(sound, 0, record(1));
    setup.player->scheduleBuffer(sound, 250, record(2));
    setup.player->scheduleBuffer(sound, 5000, record(3));
    setup.player->play();
    renderGraph(setup.graph, 256);
    setup.player->stop();
    EXPECT_FALSE(setup.player->isPlaying());
    auto after = renderGraph(setup.graph, 6000);
    EXPECT_EQ(testing::peak(after->channel(0), 0, 6000), 0.0f);
    EXPECT_FALSE(setup.player->playerFrame().has_value());
    setup.graph.drainCompletions();
    EXPECT_EQ(results, (std::vector<std::pair<int, AudioPlayerCompletion>>{
                           {1, AudioPlayerCompletion::played}, {2, AudioPlayerCompletion::dropped}, {3, AudioPlayerCompletion::dropped}}));

    // A new start begins a new player clock.
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), 3);
    setup.player->play();
    auto again = renderGraph(setup.graph, 256);
    EXPECT_EQ(nonZeroFrames(*again), std::vector<std::int64_t>{3});
}

// The device went away while the player played: nothing renders when it is stopped and started again,
// yet the new clock must never report the old one's last frame as its own.
TEST(AudioPlayer, AStopOrStartTakesTheFrameAwayBeforeTheGraphRendersAgain)
{
    PlayerGraph setup;
    setup.player->play();
    renderGraph(setup.graph, 4096);
    EXPECT_EQ(setup.player->playerFrame(), 4096 - 256);

    setup.player->stop();
    EXPECT_FALSE(setup.player->playerFrame().has_value());
    setup.player->play(setup.graph.renderedFrames() + 1000);
    EXPECT_FALSE(setup.player->playerFrame().has_value());

    // The first block rendered acts on both: the new clock's frame is before its start.
    renderGraph(setup.graph, 256);
    EXPECT_EQ(setup.player->playerFrame(), -1000);
    renderGraph(setup.graph, 1024);
    EXPECT_EQ(setup.player->playerFrame(), 24);
}

TEST(AudioPlayer, InterruptingBufferCutsWhatPlaysAndStartsAtOnce)
{
    PlayerGraph setup;
    std::vector<AudioPlayerCompletion> results;
    auto long1 = testing::makeBuffer(10000, rate, [](int, std::int64_t) { return 0.25f; });
    setup.player->scheduleBuffer(long1, 0, [&](AudioPlayerCompletion r) { results.push_back(r); });
    setup.player->scheduleBuffer(long1, 20000, [&](AudioPlayerCompletion r) { results.push_back(r); });
    setup.player->play();
    renderGraph(setup.graph, 512);
    setup.player->scheduleBuffer(testing::makeBuffer(100, rate, [](int, std::int64_t) { return 0.5f; }), std::nullopt,
                                 [&](AudioPlayerCompletion r) { results.push_back(r); }, AudioPlayerNode::Scheduling::interrupts);
    auto out = renderGraph(setup.graph, 256);
    EXPECT_EQ(out->channel(0)[0], 0.5f);
    EXPECT_EQ(out->channel(0)[99], 0.5f);
    EXPECT_EQ(out->channel(0)[100], 0.0f);
    setup.graph.drainCompletions();
    EXPECT_EQ(results, (std::vector<AudioPlayerCompletion>{AudioPlayerCompletion::dropped, AudioPlayerCompletion::dropped,
                                                           AudioPlayerCompletion::played}));
}

TEST(AudioPlayer, BufferWithoutFrameWaitsForThePlayerToStart)
{
    PlayerGraph setup;
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), std::nullopt);
    auto idle = renderGraph(setup.graph, 1000);
    EXPECT_TRUE(nonZeroFrames(*idle).empty());
    setup.player->play(1100);
    auto out = renderGraph(setup.graph, 256);
    EXPECT_EQ(nonZeroFrames(*out), std::vector<std::int64_t>{100});
}

TEST(AudioPlayer, LateBufferKeepsItsPlaceInTime)
{
    PlayerGraph setup;
    setup.player->play();
    renderGraph(setup.graph, 100);
    bool played = false;
    // Due at player frame 50, queued when the player is at 100: the first 50 frames are over.
    setup.player->scheduleBuffer(testing::makeBuffer(80, rate, [](int, std::int64_t i) { return static_cast<float>(i + 1); }), 50,
                                 [&](AudioPlayerCompletion r) { played = r == AudioPlayerCompletion::played; });
    auto out = renderGraph(setup.graph, 100);
    EXPECT_EQ(out->channel(0)[0], 51.0f);
    EXPECT_EQ(out->channel(0)[29], 80.0f);
    EXPECT_EQ(out->channel(0)[30], 0.0f);
    // One that is over entirely counts as played and makes no sound.
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), 10);
    auto silent = renderGraph(setup.graph, 100);
    EXPECT_TRUE(nonZeroFrames(*silent).empty());
    setup.graph.drainCompletions();
    EXPECT_TRUE(played);
}

TEST(AudioPlayer, VolumeScalesAndASilentPlayerStillKeepsTime)
{
    PlayerGraph setup;
    setup.player->setVolume(0.5f);
    setup.player->scheduleBuffer(testing::makeBuffer(10, rate, [](int, std::int64_t) { return 0.8f; }), 0);
    setup.player->play();
    auto out = renderGraph(setup.graph, 256);
    EXPECT_FLOAT_EQ(out->channel(0)[5], 0.4f);

    setup.player->setVolume(0.0f);
    bool played = false;
    setup.player->scheduleBuffer(testing::makeBuffer(10, rate, [](int, std::int64_t) { return 0.8f; }), 300,
                                 [&](AudioPlayerCompletion r) { played = r == AudioPlayerCompletion::played; });
    auto quiet = renderGraph(setup.graph, 512);
    EXPECT_EQ(testing::peak(quiet->channel(0), 0, 512), 0.0f);
    setup.graph.drainCompletions();
    EXPECT_TRUE(played);
    EXPECT_EQ(setup.player->playerFrame(), 512);
}

TEST(AudioPlayer, PlayWhilePlayingKeepsTheClock)
{
    PlayerGraph setup;
    setup.player->play();
    renderGraph(setup.graph, 256);
    setup.player->play(100000);
    renderGraph(setup.graph, 256);
    EXPECT_EQ(setup.player->playerFrame(), 256);
}

TEST(AudioPlayer, NeedsAGraph)
{
    AudioPlayerNode loose;
    EXPECT_THROW(loose.scheduleBuffer(impulseBuffer(rate, 1.0f), 0), std::logic_error);
    EXPECT_THROW(loose.play(), std::logic_error);
    EXPECT_THROW(loose.stop(), std::logic_error);
    PlayerGraph setup;
    setup.player->scheduleBuffer(nullptr, 0); // ignored
    setup.player->play();
    auto out = renderGraph(setup.graph, 256);
    EXPECT_EQ(testing::peak(out->channel(0), 0, 256), 0.0f);
}

TEST(AudioPlayer, GraphResetDropsBuffersButKeepsThePlayerRunning)
{
    PlayerGraph setup;
    std::vector<AudioPlayerCompletion> results;
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), 5000, [&](AudioPlayerCompletion r) { results.push_back(r); });
    setup.player->play();
    renderGraph(setup.graph, 256);
    setup.graph.reset();
    auto out = renderGraph(setup.graph, 6000);
    EXPECT_TRUE(nonZeroFrames(*out).empty());
    setup.graph.drainCompletions();
    EXPECT_EQ(results, std::vector<AudioPlayerCompletion>{AudioPlayerCompletion::dropped});
    EXPECT_TRUE(setup.player->isPlaying());
    setup.player->scheduleBuffer(impulseBuffer(rate, 1.0f), std::nullopt);
    auto next = renderGraph(setup.graph, 256);
    EXPECT_EQ(nonZeroFrames(*next), std::vector<std::int64_t>{0});
}

} // namespace
} // namespace veltrane
