#include "AllocationCounter.hpp"
#include "AudioGraphTestSupport.hpp"
#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioMixerNode.hpp"
#include "VeltranePlatform/Audio/AudioPluginNodes.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Writes down every message it is handed, with the graph frame it lands on, and plays nothing.
class RecordingInstrument : public AudioMIDIInstrumentNode {
public:
    struct Received {
        std::int64_t frame;
        std::array<std::uint8_t, 3> bytes;
        friend bool operator==(const Received&, const Received&) = default;
    };
    std::vector<Received> received; // reserved by the test: the audio side never allocates
    std::int64_t lastBlockFrame = 0; // the frame of the node's clock where its last block began

protected:
    void synthesize(const RenderTime& time, std::span<const PluginMidiEvent> messages, AudioBus& out) noexcept override
    {
        lastBlockFrame = time.frame;
        for (const auto& message : messages) received.push_back({time.frame + message.frameOffset, message.bytes});
        out.silent = true;
    }
};

} // namespace

TEST(AudioMIDIInstrumentNode, DeliversMessagesAtTheirFramesInFrameThenQueueingOrder)
{
    AudioGraph graph(44100, 256);
    auto instrument = std::make_shared<RecordingInstrument>();
    instrument->received.reserve(64);
    graph.attach(instrument);
    graph.connect(*instrument, graph.mainMixer());

    instrument->scheduleMIDI(700, {0x80, 60, 0});
    instrument->scheduleMIDI(10, {0xB0, 7, 100});
    instrument->scheduleMIDI(10, {0x90, 60, 90}); // same frame: after the controller queued before it
    instrument->scheduleMIDI(256, {0x90, 64, 90}); // first frame of the second block
    renderGraph(graph, 512);
    // Queued for a frame that has passed: played at the start of the next block, not lost.
    instrument->scheduleMIDI(100, {0x80, 64, 0});
    renderGraph(graph, 512);
    graph.drainCompletions();

    const std::vector<RecordingInstrument::Received> expected{
        {10, {0xB0, 7, 100}}, {10, {0x90, 60, 90}}, {256, {0x90, 64, 90}}, {512, {0x80, 64, 0}}, {700, {0x80, 60, 0}}};
    EXPECT_EQ(instrument->received, expected);
}

TEST(AudioMIDIInstrumentNode, ClearDropsWhatHasNotPlayed)
{
    AudioGraph graph(44100, 256);
    auto instrument = std::make_shared<RecordingInstrument>();
    instrument->received.reserve(8);
    graph.attach(instrument);
    graph.connect(*instrument, graph.mainMixer());
    instrument->scheduleMIDI(5, {0x90, 60, 90});
    instrument->scheduleMIDI(300, {0x80, 60, 0});
    renderGraph(graph, 256);
    instrument->clearMIDI();
    renderGraph(graph, 256);
    EXPECT_EQ(instrument->received, (std::vector<RecordingInstrument::Received>{{5, {0x90, 60, 90}}}));
}

TEST(AudioMIDIInstrumentNode, PlaybackClockMessagesLandWithAPlayerStartedAtTheSameGraphFrame)
{
    // Behind a time-pitch stage that ran at rate 2 for a while, the node's clock is far from the graph
    // clock; a message at playback frame 3,000 lands where a player started at the same graph frame
    // plays its frame 3,000.
    AudioGraph graph(48000, 256);
    auto instrument = std::make_shared<RecordingInstrument>();
    instrument->received.reserve(16);
    auto player = std::make_shared<AudioPlayerNode>();
    auto mixer = std::make_shared<AudioMixerNode>();
    auto timePitch = std::make_shared<AudioTimePitchNode>();
    for (const auto& node : std::initializer_list<std::shared_ptr<AudioNode>>{instrument, player, mixer, timePitch}) graph.attach(node);
    graph.connect(*instrument, *mixer);
    graph.connect(*player, *mixer);
    graph.connect(*mixer, *timePitch);
    graph.connect(*timePitch, graph.mainMixer());
    timePitch->setRate(2);
    renderGraph(graph, 4800);
    timePitch->setRate(1);

    const std::int64_t start = graph.renderedFrames() + 1000;
    // Queued before the clock starts: it waits for the start.
    instrument->schedulePlaybackMIDI(3000, {0x90, 60, 90});
    instrument->startPlaybackClock(start);
    instrument->schedulePlaybackMIDI(3000, {0xB0, 7, 100}); // same frame: after the note queued before it
    player->scheduleBuffer(impulseBuffer(48000, 1.0f), 3000);
    player->play(start);
    renderGraph(graph, 5120);
    // In one block, the player's frame and the node's differ by where the start fell on the node's clock.
    const std::optional<std::int64_t> playerFrame = player->playerFrame();
    ASSERT_TRUE(playerFrame);
    const std::int64_t startOnNodeClock = instrument->lastBlockFrame - *playerFrame;
    EXPECT_GT(startOnNodeClock, start + 2000) << "the node's clock ran ahead of the graph's at rate 2";
    ASSERT_EQ(instrument->received.size(), 2u);
    EXPECT_EQ(instrument->received[0], (RecordingInstrument::Received{startOnNodeClock + 3000, {0x90, 60, 90}}));
    EXPECT_EQ(instrument->received[1], (RecordingInstrument::Received{startOnNodeClock + 3000, {0xB0, 7, 100}}));

    // A clear ends the clock: what is queued on it afterwards waits for a new start.
    instrument->clearMIDI();
    instrument->schedulePlaybackMIDI(0, {0x80, 60, 0});
    renderGraph(graph, 4096);
    EXPECT_EQ(instrument->received.size(), 2u);
}

TEST(AudioPluginNodes, JX10PlaysItsNotesFromMIDI)
{
    VELTRANE_REQUIRE_MDA();
    AudioGraph graph(44100, 256);
    auto synth = std::make_shared<AudioPluginInstrumentNode>(
        veltrane::testing::installedPlugins().instantiate(veltrane::testing::jx10Uri, 44100, 256));
    graph.attach(synth);
    graph.connect(*synth, graph.mainMixer());
    synth->scheduleMIDI(1000, {0x90, 60, 110});
    synth->scheduleMIDI(5000, {0x80, 60, 0});
    const auto out = renderGraph(graph, 8192);
    EXPECT_EQ(peak(out->channel(0), 0, 1000), 0.0f) << "nothing sounds before the note";
    EXPECT_GT(peak(out->channel(0), 1000, 5000), 0.01f);
}

TEST(AudioPluginNodes, MdaDelayEchoesASilentInputOnAndPassesItBypassed)
{
    VELTRANE_REQUIRE_MDA();
    for (const bool bypassed : {false, true}) {
        AudioGraph graph(44100, 256);
        auto player = std::make_shared<AudioPlayerNode>();
        auto delay = std::make_shared<AudioPluginEffectNode>(
            veltrane::testing::installedPlugins().instantiate(veltrane::testing::delayUri, 44100, 256));
        graph.attach(player);
        graph.attach(delay);
        graph.connect(*player, *delay);
        graph.connect(*delay, graph.mainMixer());
        delay->setBypassed(bypassed);
        player->scheduleBuffer(sineBuffer(2000, 44100, 440, 0.5f), 0);
        player->play();
        const auto out = renderGraph(graph, 88200);
        // Long after the input ended, only echoes can sound.
        if (bypassed) {
            EXPECT_EQ(peak(out->channel(0), 2000, 88200), 0.0f);
        } else {
            EXPECT_GT(peak(out->channel(0), 4000, 88200), 0.01f);
        }
        graph.drainCompletions();
    }
}

TEST(AudioPluginNodes, PlayingHostedUnitsWithQueuedMIDIMakesNoHeapAllocation)
{
    VELTRANE_REQUIRE_MDA();
    const PluginHost& host = veltrane::testing::installedPlugins();
    AudioGraph graph(44100, 256);
    auto synth = std::make_shared<AudioPluginInstrumentNode>(host.instantiate(veltrane::testing::jx10Uri, 44100, 256));
    auto delay = std::make_shared<AudioPluginEffectNode>(host.instantiate(veltrane::testing::delayUri, 44100, 256));
    graph.attach(synth);
    graph.attach(delay);
    graph.connect(*synth, *delay);
    graph.connect(*delay, graph.mainMixer());
    for (int i = 0; i < 40; ++i) {
        synth->scheduleMIDI(i * 300, {0xB0, 74, std::uint8_t(i * 3)});
        synth->scheduleMIDI(i * 300 + 10, {0x90, std::uint8_t(48 + i), 100});
        synth->scheduleMIDI(i * 300 + 200, {0x80, std::uint8_t(48 + i), 0});
    }
    std::vector<float> left(256), right(256);
    std::int64_t allocations = 0;
    for (int block = 0; block < 60; ++block) {
        veltrane::testing::AllocationCounter counter;
        graph.render(left.data(), right.data(), 256);
        allocations += counter.count();
    }
    graph.drainCompletions();
    EXPECT_EQ(allocations, 0);
}
