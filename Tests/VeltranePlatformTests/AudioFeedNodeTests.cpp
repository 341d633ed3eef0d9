// A graph rendered apart, block by block, and played into another graph through a feed.

#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioFeedNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace veltrane {
namespace {

constexpr double rate = 44100;
constexpr int block = 256;
constexpr int frames = 8 * block;

// Two players mixed through a filter: the part rendered apart. The noise starts in the second block and ends
// before the last, so the part has silent blocks on both sides.
void buildPart(AudioGraph& graph, AudioNode& destination)
{
    auto first = graph.attachNew<AudioPlayerNode>();
    auto second = graph.attachNew<AudioPlayerNode>();
    auto sum = graph.attachNew<AudioMixerNode>();
    auto filter = graph.attachNew<AudioEQNode>();
    filter->setFrequency(3000);
    graph.connect(*first, *sum);
    graph.connect(*second, *sum);
    graph.connect(*sum, *filter);
    graph.connect(*filter, destination);
    first->scheduleBuffer(testing::noiseBuffer(700, rate, 0.5f, 3), 300);
    second->scheduleBuffer(testing::noiseBuffer(500, rate, 0.25f, 4), 900);
    first->play(0);
    second->play(0);
}

// A mixer that hears the part first, then a player of its own, then applies volume and pan.
std::shared_ptr<AudioMixerNode> buildMix(AudioGraph& graph)
{
    auto mixer = graph.attachNew<AudioMixerNode>();
    mixer->setOutputVolume(0.8f);
    mixer->setPan(0.3f);
    graph.connect(*mixer, graph.mainMixer());
    return mixer;
}

void addOwnPlayer(AudioGraph& graph, AudioMixerNode& mixer)
{
    auto own = graph.attachNew<AudioPlayerNode>();
    graph.connect(*own, mixer);
    own->scheduleBuffer(testing::noiseBuffer(600, rate, 0.3f, 5), 200);
    own->play(0);
}

TEST(AudioFeedNode, APartRenderedApartSoundsBitForBitAsInPlaceAndItsSilentBlocksStayUnwritten)
{
    AudioGraph inPlace(rate, block);
    {
        auto mixer = buildMix(inPlace);
        buildPart(inPlace, *mixer);
        addOwnPlayer(inPlace, *mixer);
    }
    const auto expected = testing::renderGraph(inPlace, frames, block);

    AudioGraph part(rate, block);
    buildPart(part, part.mainMixer());
    AudioGraph mix(rate, block);
    auto mixer = buildMix(mix);
    auto feed = mix.attachNew<AudioFeedNode>();
    mix.connect(*feed, *mixer);
    addOwnPlayer(mix, *mixer);

    // Every block of the part first, into memory marked with NaN, as an export renders ahead.
    std::vector<float> left(frames, std::numeric_limits<float>::quiet_NaN());
    std::vector<float> right(frames, std::numeric_limits<float>::quiet_NaN());
    std::vector<bool> sounding;
    for (int start = 0; start < frames; start += block) {
        sounding.push_back(part.renderBlock(left.data() + start, right.data() + start, block));
    }
    EXPECT_EQ(sounding, (std::vector<bool>{false, true, true, true, true, true, false, false}));
    EXPECT_TRUE(std::isnan(left[0]) && std::isnan(right[7 * block])) << "a silent block was written";
    EXPECT_EQ(part.renderedFrames(), frames);

    feed->setSource([&](std::int64_t frame, int) -> AudioFeedNode::Block {
        if (!sounding[static_cast<std::size_t>(frame / block)]) return {};
        return {left.data() + frame, right.data() + frame};
    });
    const auto fed = testing::renderGraph(mix, frames, block);
    EXPECT_GT(testing::peak(fed->channel(0), 0, frames), 0.1f);
    EXPECT_TRUE(testing::sameBits(fed->channel(0), expected->channel(0), frames));
    EXPECT_TRUE(testing::sameBits(fed->channel(1), expected->channel(1), frames));
}

} // namespace
} // namespace veltrane
