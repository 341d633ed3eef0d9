#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

constexpr const char* synthv1Uri = "http://synthv1.sourceforge.net/lv2";

#define VELTRANE_REQUIRE_SYNTHV1()                                                                     \
    do {                                                                                               \
        if (!installedPlugins().find(synthv1Uri))                                                     \
            GTEST_SKIP() << "synthv1 (synthv1-lv2, a plug-in that needs the LV2 worker) is not installed"; \
    } while (false)

/// Plays a note for `blocks` blocks of 256 frames and returns all of it.
StereoBuffer playNote(PluginInstance& synth, int blocks)
{
    StereoBuffer all(256 * blocks), block(256);
    for (int b = 0; b < blocks; ++b) {
        const PluginMidiEvent on[] = {noteOn(10, 60)};
        synth.process(nullptr, block.channels(), 256,
                      b == 0 ? std::span<const PluginMidiEvent>(on) : std::span<const PluginMidiEvent>());
        std::copy(block.left.begin(), block.left.end(), all.left.begin() + 256 * b);
        std::copy(block.right.begin(), block.right.end(), all.right.begin() + 256 * b);
    }
    return all;
}

} // namespace

TEST(PluginHostWorker, APluginThatNeedsTheWorkerStartsAndPlaysLiveAndOffline)
{
    VELTRANE_REQUIRE_SYNTHV1();
    for (const PluginRunMode mode : {PluginRunMode::live, PluginRunMode::offline}) {
        auto synth = installedPlugins().instantiate(synthv1Uri, 44100.0, 256, mode);
        ASSERT_NE(synth, nullptr);
        EXPECT_EQ(synth->description().kind, PluginKind::instrument);
        const StereoBuffer sound = playNote(*synth, 40);
        EXPECT_EQ(peak(sound, 0, 10), 0.0f) << "silent before the note";
        EXPECT_GT(peak(sound, 10, sound.frames()), 0.01f) << "the note sounds";
        // A state round trip goes through the plug-in while its worker may be busy.
        const auto state = synth->saveState();
        ASSERT_TRUE(state);
        EXPECT_TRUE(synth->restoreState(*state));
        EXPECT_GT(peak(playNote(*synth, 10), 0, 2560), 0.0f);
    }
}

TEST(PluginHostWorker, OfflineInstancesRenderTheSameSamplesEveryTime)
{
    VELTRANE_REQUIRE_SYNTHV1();
    auto first = installedPlugins().instantiate(synthv1Uri, 44100.0, 256, PluginRunMode::offline);
    auto second = installedPlugins().instantiate(synthv1Uri, 44100.0, 256, PluginRunMode::offline);
    const StereoBuffer a = playNote(*first, 60);
    // However slow or fast the other one is: the work is done inside the block that asks for it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const StereoBuffer b = playNote(*second, 60);
    EXPECT_GT(peak(a, 0, a.frames()), 0.01f);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
}
