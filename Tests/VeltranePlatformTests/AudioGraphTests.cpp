#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace veltrane {
namespace {

using testing::noiseBuffer;
using testing::renderGraph;
using testing::sameBits;

constexpr double rate = 48000;

TEST(AudioGraph, EmptyGraphRendersSilenceAndCountsFrames)
{
    AudioGraph graph(rate, 256);
    auto out = renderGraph(graph, 1000, 300);
    EXPECT_EQ(testing::peak(out->channel(0), 0, 1000), 0.0f);
    EXPECT_EQ(testing::peak(out->channel(1), 0, 1000), 0.0f);
    EXPECT_EQ(graph.renderedFrames(), 1000);

    AudioBuffer buffer(500, rate);
    graph.manualRender(buffer, 700); // more than fits: the buffer's capacity wins
    EXPECT_EQ(buffer.frameLength(), 500);
    EXPECT_EQ(graph.renderedFrames(), 1500);
}

TEST(AudioGraph, RejectsWiringMistakes)
{
    AudioGraph graph(rate);
    AudioGraph other(rate);
    auto player = graph.attachNew<AudioPlayerNode>();
    auto eq = graph.attachNew<AudioEQNode>();
    auto mixer = graph.attachNew<AudioMixerNode>();
    auto foreign = other.attachNew<AudioMixerNode>();
    auto loose = std::make_shared<AudioMixerNode>();
    graph.connect(*player, *eq);
    graph.connect(*eq, *mixer);

    const std::vector<std::pair<const char*, std::function<void()>>> mistakes = {
        {"into a player", [&] { graph.connect(*eq, *player); }},
        {"main mixer as a source", [&] { graph.connect(graph.mainMixer(), *mixer); }},
        {"node of another graph", [&] { graph.connect(*foreign, *mixer); }},
        {"node never attached", [&] { graph.connect(*loose, *mixer); }},
        {"a loop", [&] { graph.connect(*mixer, *eq); }},
        {"attach to a second graph", [&] { other.attach(eq); }},
        {"attach nothing", [&] { graph.attach(nullptr); }},
        {"disconnect a stranger", [&] { graph.disconnectOutput(*loose); }},
    };
    for (const auto& [name, mistake] : mistakes) EXPECT_THROW(mistake(), std::logic_error) << name;
    // Nothing of the above changed the wiring.
    EXPECT_EQ(graph.destination(*player), eq.get());
    EXPECT_EQ(graph.destination(*eq), mixer.get());
}

TEST(AudioGraph, EffectsTakeOneInputAndMixersMany)
{
    AudioGraph graph(rate);
    auto first = graph.attachNew<AudioPlayerNode>();
    auto second = graph.attachNew<AudioPlayerNode>();
    auto eq = graph.attachNew<AudioEQNode>();
    auto mixer = graph.attachNew<AudioMixerNode>();

    graph.connect(*first, *eq);
    graph.connect(*second, *eq);
    EXPECT_EQ(graph.inputs(*eq), std::vector<AudioNode*>{second.get()});
    EXPECT_EQ(graph.destination(*first), nullptr);

    graph.connect(*first, *mixer);
    graph.connect(*second, *mixer); // moves it away from the EQ
    EXPECT_EQ(graph.inputs(*mixer), (std::vector<AudioNode*>{first.get(), second.get()}));
    EXPECT_TRUE(graph.inputs(*eq).empty());

    graph.disconnectInputs(*mixer);
    EXPECT_TRUE(graph.inputs(*mixer).empty());
    EXPECT_EQ(graph.destination(*first), nullptr);
}

TEST(AudioGraph, MixerSumsItsInputs)
{
    AudioGraph graph(rate);
    auto a = noiseBuffer(512, rate, 0.3f, 1);
    auto b = noiseBuffer(512, rate, 0.3f, 2);
    for (const auto& buffer : {a, b}) {
        auto player = graph.attachNew<AudioPlayerNode>();
        graph.connect(*player, graph.mainMixer());
        player->scheduleBuffer(buffer, 0);
        player->play();
    }
    auto out = renderGraph(graph, 512);
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < 512; ++i) ASSERT_EQ(out->channel(channel)[i], a->channel(channel)[i] + b->channel(channel)[i]);
    }
}

TEST(AudioGraph, MixerSumsPlayersAndOtherNodesInWiringOrderAndMetersEachAlone)
{
    // Players add straight into the mixer's sum; a sub-mixer (no such shortcut) and a metered player
    // (whose meter must see it alone) go through a block of their own. The sum is the same, in order.
    AudioGraph graph(rate, 256);
    auto late = noiseBuffer(300, rate, 0.3f, 1);   // starts 100 frames into the first block
    auto nested = noiseBuffer(512, rate, 0.2f, 2); // through a sub-mixer
    auto metered = noiseBuffer(512, rate, 0.1f, 3);
    auto player = [&](const std::shared_ptr<AudioBuffer>& buffer, std::int64_t frame, AudioNode& into) {
        auto node = graph.attachNew<AudioPlayerNode>();
        graph.connect(*node, into);
        if (buffer) node->scheduleBuffer(buffer, frame);
        node->play();
        return node;
    };
    player(late, 100, graph.mainMixer());
    auto sub = graph.attachNew<AudioMixerNode>();
    graph.connect(*sub, graph.mainMixer());
    player(nested, 0, *sub);
    player(nullptr, 0, graph.mainMixer()); // idle
    AudioLevelTap& meter = player(metered, 0, graph.mainMixer())->installLevelTap();
    auto out = renderGraph(graph, 512);

    float meteredPeak = 0;
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < 512; ++i) {
            const float first = i >= 100 && i < 400 ? late->channel(channel)[i - 100] : 0.0f;
            const float expected = (first + nested->channel(channel)[i]) + metered->channel(channel)[i];
            ASSERT_EQ(out->channel(channel)[i], expected) << "channel " << channel << " frame " << i;
            meteredPeak = std::max(meteredPeak, std::fabs(metered->channel(channel)[i]));
        }
    }
    EXPECT_EQ(meter.peak(), meteredPeak);
}

TEST(AudioGraph, WiringChangesTakeEffectWithTheNextBlock)
{
    AudioGraph graph(rate, 256);
    auto player = graph.attachNew<AudioPlayerNode>();
    graph.connect(*player, graph.mainMixer());
    player->scheduleBuffer(testing::makeBuffer(4096, rate, [](int, std::int64_t i) { return static_cast<float>(i) / 4096.0f; }), 0);
    player->play();
    auto before = renderGraph(graph, 256);
    EXPECT_EQ(before->channel(0)[255], 255.0f / 4096.0f);
    graph.disconnectOutput(*player);
    auto after = renderGraph(graph, 256);
    EXPECT_EQ(testing::peak(after->channel(0), 0, 256), 0.0f);
    graph.connect(*player, graph.mainMixer());
    auto again = renderGraph(graph, 256);
    // The player clock follows the graph clock, also while nothing pulls the player.
    EXPECT_EQ(again->channel(0)[0], 512.0f / 4096.0f);
    EXPECT_EQ(player->playerFrame(), 512);
}

// A graph with every kind of node doing real work.
struct BusyGraph {
    AudioGraph graph;
    std::vector<std::shared_ptr<AudioPlayerNode>> players;
    explicit BusyGraph(int maximumFrames) : graph(rate, maximumFrames)
    {
        auto strip = graph.attachNew<AudioMixerNode>();
        auto eq = graph.attachNew<AudioEQNode>();
        auto drive = graph.attachNew<AudioDistortionNode>();
        auto crusher = graph.attachNew<AudioBitCrusherNode>();
        auto delay = graph.attachNew<AudioDelayNode>();
        auto reverb = graph.attachNew<AudioReverbNode>();
        auto timePitch = graph.attachNew<AudioTimePitchNode>();
        auto limiter = graph.attachNew<AudioPeakLimiterNode>();
        for (int i = 0; i < 3; ++i) {
            players.push_back(graph.attachNew<AudioPlayerNode>());
            graph.connect(*players.back(), *strip);
        }
        graph.connect(*strip, *eq);
        graph.connect(*eq, *drive);
        graph.connect(*drive, *crusher);
        graph.connect(*crusher, *delay);
        graph.connect(*delay, *reverb);
        graph.connect(*reverb, *timePitch);
        graph.connect(*timePitch, *limiter);
        graph.connect(*limiter, graph.mainMixer());
        strip->setPan(-0.3f);
        eq->setFrequency(3000);
        eq->setBandwidth(2);
        drive->setPreGain(12);
        drive->setWetDryMix(40);
        crusher->setRounding(50);
        crusher->setDecimationMix(20);
        crusher->setWetDryMix(30);
        delay->setDelayTime(0.05);
        delay->setFeedback(60);
        delay->setWetDryMix(35);
        reverb->setWetDryMix(25);
        timePitch->setRate(1.25f);
        limiter->setPreGain(6);
        for (std::size_t i = 0; i < players.size(); ++i) {
            players[i]->scheduleBuffer(noiseBuffer(3000, rate, 0.8f, static_cast<std::uint32_t>(i + 7)), static_cast<std::int64_t>(i) * 1111);
            players[i]->play();
        }
    }
};

TEST(AudioGraph, ManualRenderingIsDeterministicAndIndependentOfBlockSize)
{
    BusyGraph first(4096);
    BusyGraph second(4096);
    BusyGraph chopped(64);
    auto a = renderGraph(first.graph, 24000, 256);
    auto b = renderGraph(second.graph, 24000, 256);
    auto c = std::make_shared<AudioBuffer>(24000, rate);
    chopped.graph.manualRender(*c, 24000); // one call, cut into 64-frame blocks inside
    EXPECT_GT(testing::peak(a->channel(0), 0, 24000), 0.05f);
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_TRUE(sameBits(a->channel(channel), b->channel(channel), 24000));
    }
    // Parameters are read once per block, so only a graph whose parameters stand still renders the
    // same in any block size; this one does, to the bit.
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_TRUE(sameBits(a->channel(channel), c->channel(channel), 24000));
    }
}

TEST(AudioGraph, LevelTapHoldsThePeakAndFallsWithEachRead)
{
    AudioGraph graph(rate);
    auto player = graph.attachNew<AudioPlayerNode>();
    auto strip = graph.attachNew<AudioMixerNode>();
    graph.connect(*player, *strip);
    graph.connect(*strip, graph.mainMixer());
    AudioLevelTap& tap = strip->installLevelTap();
    player->scheduleBuffer(testing::makeBuffer(100, rate, [](int channel, std::int64_t i) { return i == 50 && channel == 1 ? -0.5f : 0.1f; }), 0);
    player->play();
    renderGraph(graph, 512);
    EXPECT_FLOAT_EQ(tap.readPeakAndDecay(0.82f), 0.5f);
    EXPECT_FLOAT_EQ(tap.readPeakAndDecay(0.82f), 0.41f);
    EXPECT_NEAR(tap.peak(), 0.3362f, 1e-6);

    // The meter measures after the strip's volume.
    strip->setOutputVolume(0.5f);
    player->scheduleBuffer(testing::makeBuffer(100, rate, [](int, std::int64_t) { return 0.9f; }), 1024);
    renderGraph(graph, 2048);
    EXPECT_FLOAT_EQ(tap.readPeakAndDecay(1.0f), 0.45f);

    strip->removeLevelTap();
    tap.clear();
    player->scheduleBuffer(testing::makeBuffer(100, rate, [](int, std::int64_t) { return 0.9f; }), 3000);
    renderGraph(graph, 2048);
    EXPECT_EQ(tap.peak(), 0.0f);
}

TEST(AudioGraph, SetFormatPreparesEveryNodeForTheNewRate)
{
    AudioGraph graph(44100, 128);
    auto player = graph.attachNew<AudioPlayerNode>();
    auto delay = graph.attachNew<AudioDelayNode>();
    graph.connect(*player, *delay);
    graph.connect(*delay, graph.mainMixer());
    delay->setDelayTime(1.5);
    delay->setWetDryMix(100);
    graph.setFormat(96000, 1024);
    EXPECT_EQ(graph.sampleRate(), 96000);
    EXPECT_EQ(graph.maximumFrames(), 1024);
    player->scheduleBuffer(testing::impulseBuffer(96000, 1.0f), 0);
    player->play();
    auto out = renderGraph(graph, 160000, 1024);
    // 1.5 s at the new rate: the line was made long enough for it.
    EXPECT_GT(std::fabs(out->channel(0)[144000]), 0.9f);
    EXPECT_EQ(testing::peak(out->channel(0), 0, 144000), 0.0f);
}

TEST(AudioGraph, DestroyingTheGraphFreesQueuedBuffersWithoutCallingHandlers)
{
    std::weak_ptr<const AudioBuffer> queued;
    std::weak_ptr<const AudioBuffer> sounding;
    int handlerCalls = 0;
    {
        AudioGraph graph(rate);
        auto player = graph.attachNew<AudioPlayerNode>();
        graph.connect(*player, graph.mainMixer());
        auto later = noiseBuffer(10, rate, 0.1f);
        auto now = noiseBuffer(100000, rate, 0.1f);
        queued = later;
        sounding = now;
        player->scheduleBuffer(std::move(now), 0, [&](AudioPlayerCompletion) { ++handlerCalls; });
        player->play();
        renderGraph(graph, 256);
        player->scheduleBuffer(std::move(later), 100000, [&](AudioPlayerCompletion) { ++handlerCalls; });
    }
    EXPECT_TRUE(queued.expired());
    EXPECT_TRUE(sounding.expired());
    EXPECT_EQ(handlerCalls, 0);
}

} // namespace
} // namespace veltrane
