#include "AllocationCounter.hpp"
#include "AudioGraphTestSupport.hpp"
#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioPluginNodes.hpp"

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

protected:
    void synthesize(const RenderTime& time, std::span<const PluginMidiEvent> messages, AudioBus& out) noexcept override
    {
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
