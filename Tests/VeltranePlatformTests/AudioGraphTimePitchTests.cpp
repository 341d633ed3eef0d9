#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using testing::renderGraph;

constexpr double rate = 48000;

// A player behind a time-pitch stage, as on the master path.
struct StretchGraph {
    AudioGraph graph{rate, 256};
    std::shared_ptr<AudioPlayerNode> player = std::make_shared<AudioPlayerNode>();
    std::shared_ptr<AudioTimePitchNode> timePitch = std::make_shared<AudioTimePitchNode>();
    StretchGraph()
    {
        graph.attach(player);
        graph.attach(timePitch);
        graph.connect(*player, *timePitch);
        graph.connect(*timePitch, graph.mainMixer());
    }
};

// Zero crossings per second of the second half of a stretch of samples.
double crossingsPerSecond(const float* samples, std::int64_t frames)
{
    int crossings = 0;
    for (std::int64_t i = frames / 2 + 1; i < frames; ++i) crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    return crossings / (static_cast<double>(frames / 2) / rate);
}

TEST(AudioTimePitch, RateOneKeepsThePlayerOnTheGraphClock)
{
    StretchGraph setup;
    setup.graph.reset();
    renderGraph(setup.graph, 1000);
    setup.player->scheduleBuffer(testing::impulseBuffer(rate, 1.0f), 0);
    setup.player->play(1500);
    auto out = renderGraph(setup.graph, 1000);
    EXPECT_EQ(out->channel(0)[500], 1.0f);
    EXPECT_EQ(testing::peak(out->channel(0), 0, 500), 0.0f);
    EXPECT_EQ(setup.player->playerFrame(), 1768 - 1500);
}

TEST(AudioTimePitch, ChangesTheSpeedButNotThePitch)
{
    struct Case {
        float rate;
    };
    for (auto [speed] : {Case{2.0f}, Case{0.5f}, Case{1.3f}}) {
        StretchGraph setup;
        setup.timePitch->setRate(speed);
        setup.player->scheduleBuffer(testing::sineBuffer(8 * 48000, rate, 440, 0.5f), 0);
        setup.player->play();
        auto out = renderGraph(setup.graph, 48000);
        // The player behind the stage ran `speed` times as far as the graph clock...
        const auto playerFrame = setup.player->playerFrame();
        ASSERT_TRUE(playerFrame.has_value());
        EXPECT_NEAR(static_cast<double>(*playerFrame), speed * 48000.0, 2500.0) << speed;
        // ...and the tone kept its pitch (an octave off would be 440 or 1760 crossings a second) and
        // about its level (a 0.5 sine has an RMS level of 0.354).
        EXPECT_NEAR(crossingsPerSecond(out->channel(0), 48000), 880.0, 10.0) << speed;
        EXPECT_NEAR(testing::rms(out->channel(0), 24000, 48000), 0.354, 0.02) << speed;
    }
}

TEST(AudioTimePitch, ReturnsToAnExactPassThroughAtRateOne)
{
    // Every frame of the input is a different value, so the output shows which input frame it plays.
    StretchGraph setup;
    setup.player->scheduleBuffer(testing::makeBuffer(8 * 48000, rate, [](int, std::int64_t i) { return static_cast<float>(i + 1) / 1048576.0f; }), 0);
    setup.player->play();
    renderGraph(setup.graph, 4800);
    setup.timePitch->setRate(1.5f);
    renderGraph(setup.graph, 9600);
    setup.timePitch->setRate(1.0f);
    renderGraph(setup.graph, 2400); // the grain under way finishes first
    auto out = renderGraph(setup.graph, 9600);
    const float* left = out->channel(0);
    const float first = left[0] * 1048576.0f;
    EXPECT_EQ(first, std::round(first));
    // Half of the 9600 stretched frames ran at 1.5: the sound now plays about 4800 frames ahead.
    EXPECT_NEAR(first - 1.0f - (4800 + 9600 + 2400), 4800.0f, 960.0f);
    for (int i = 1; i < 9600; ++i) ASSERT_EQ(left[i] * 1048576.0f, first + static_cast<float>(i)) << i;
}

TEST(AudioTimePitch, RateChangesMakeNoJump)
{
    StretchGraph setup;
    setup.player->scheduleBuffer(testing::sineBuffer(8 * 48000, rate, 100, 0.5f), 0);
    setup.player->play();
    std::vector<float> left;
    for (float speed : {1.0f, 2.0f, 1.0f, 0.5f, 1.0f}) {
        setup.timePitch->setRate(speed);
        auto out = renderGraph(setup.graph, 12000);
        left.insert(left.end(), out->channel(0), out->channel(0) + 12000);
    }
    // A 100 Hz sine at 0.5 moves at most 0.0066 per frame; a jump shows as a far larger step.
    float largestStep = 0;
    for (std::size_t i = 1; i < left.size(); ++i) largestStep = std::max(largestStep, std::fabs(left[i] - left[i - 1]));
    EXPECT_LT(largestStep, 0.02f);
}

} // namespace
} // namespace veltrane
