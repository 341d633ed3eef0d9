// What the host does to a plug-in, as the plug-in itself sees it: a probe plug-in of the tests' own
// reports the control values it runs with, the worker calls it gets and how often its library was
// loaded, and changes the floating-point mode where plug-in code can.

#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <xmmintrin.h>

#include <cfenv>
#include <chrono>
#include <thread>

using namespace veltrane;
using namespace veltrane::testing;

#if defined(VELTRANE_LV2_PROBE_DIR)

namespace {

const PluginHost& probeHost()
{
    static const PluginHost host(VELTRANE_LV2_PROBE_DIR);
    return host;
}

void runBlock(PluginInstance& probe, float left = 0.0f, float right = 0.0f)
{
    StereoBuffer in(64), out(64);
    std::fill(in.left.begin(), in.left.end(), left);
    std::fill(in.right.begin(), in.right.end(), right);
    process(probe, in, out);
}

} // namespace

TEST(PluginHostProbe, PluginCodeLeavesTheFloatingPointModeAsItWasAndItsLibraryStaysLoaded)
{
    const unsigned sse = _mm_getcsr();
    const int rounding = std::fegetround();
    ASSERT_TRUE(probeHost().find(probeUri));
    probeHost().instantiate(probeUri, 44100.0, 64).reset();
    ProbeReport* report = probeReport();
    ASSERT_NE(report, nullptr) << "the probe's library stays loaded after its last instance is gone";
    EXPECT_GE(report->floatingPointChanges, 2) << "its library and its instance both changed the mode";
    EXPECT_EQ(_mm_getcsr(), sse);
    EXPECT_EQ(std::fegetround(), rounding);

    // Another host, another instance: the same library, loaded once for the process.
    {
        const PluginHost another(VELTRANE_LV2_PROBE_DIR);
        const int before = report->instantiations;
        another.instantiate(probeUri, 48000.0, 64).reset();
        EXPECT_EQ(report->instantiations, before + 1);
    }
    EXPECT_EQ(report->libraryLoads, 1);
    EXPECT_EQ(probeReport(), report);
    EXPECT_EQ(_mm_getcsr(), sse);
}

TEST(PluginHostProbe, TheHostSetsFreeWheelingEnableAndTempoAndNeverShowsOrSavesThem)
{
    for (const PluginRunMode mode : {PluginRunMode::live, PluginRunMode::offline}) {
        SCOPED_TRACE(mode == PluginRunMode::live ? "live" : "offline");
        auto probe = probeHost().instantiate(probeUri, 44100.0, 64, mode);
        ProbeReport* report = probeReport();
        ASSERT_NE(report, nullptr);
        ASSERT_EQ(probe->parameters().size(), 1u);
        EXPECT_EQ(probe->parameters()[0].symbol, "gain");

        runBlock(*probe);
        EXPECT_EQ(report->freeWheeling, mode == PluginRunMode::offline ? 1.0f : 0.0f);
        EXPECT_EQ(report->enabled, 1.0f);
        EXPECT_EQ(report->beatsPerMinute, 120.0f);

        probe->setTempo(97.5);
        probe->setTempo(-1.0);
        probe->setBypassed(true);
        const int runs = report->runs;
        runBlock(*probe);
        EXPECT_EQ(report->runs, runs + 1) << "bypassed, a plug-in with an enable port still runs";
        EXPECT_EQ(report->enabled, 0.0f);
        EXPECT_EQ(report->beatsPerMinute, 97.5f);
        probe->setBypassed(false);
        runBlock(*probe);
        EXPECT_EQ(report->enabled, 1.0f);

        const auto state = probe->saveState();
        ASSERT_TRUE(state);
        const std::string text(state->begin(), state->end());
        EXPECT_NE(text.find("gain"), std::string::npos);
        for (const char* hostOwned : {"free_wheel", "enable", "bpm"})
            EXPECT_EQ(text.find(hostOwned), std::string::npos) << hostOwned;
    }
}

TEST(PluginHostProbe, MainChannelsComeFromThePortGroupsAndTheSideChainHearsSilence)
{
    auto probe = probeHost().instantiate(probeUri, 44100.0, 64);
    StereoBuffer in(64), out(64);
    std::fill(in.left.begin(), in.left.end(), 0.25f);
    std::fill(in.right.begin(), in.right.end(), -0.5f);
    process(*probe, in, out);
    // Declared right before left, after a side chain that would add a hundred times its input.
    EXPECT_EQ(out.left, in.left);
    EXPECT_EQ(out.right, in.right);
}

TEST(PluginHostProbe, EveryRunEndsWithTheWorkersAnswersAndEndRun)
{
    // Offline the work is done inside the run that asks for it, so its answer comes in the same block.
    auto offline = probeHost().instantiate(probeUri, 44100.0, 64, PluginRunMode::offline);
    ProbeReport* report = probeReport();
    ASSERT_NE(report, nullptr);
    *report = ProbeReport{report->libraryLoads, report->instantiations, report->floatingPointChanges};
    for (int block = 1; block <= 5; ++block) {
        runBlock(*offline);
        EXPECT_EQ(report->runs, block);
        EXPECT_EQ(report->workCalls, block);
        EXPECT_EQ(report->responses, block);
        EXPECT_EQ(report->endRuns, block);
    }
    offline.reset();

    // Live the work runs on the worker's thread; its answers reach the plug-in in a later block.
    auto live = probeHost().instantiate(probeUri, 44100.0, 64, PluginRunMode::live);
    *report = ProbeReport{report->libraryLoads, report->instantiations, report->floatingPointChanges};
    for (int block = 0; block < 20; ++block)
        runBlock(*live);
    EXPECT_EQ(report->endRuns, 20) << "end_run follows every run, answers or not";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (__atomic_load_n(&report->workCalls, __ATOMIC_SEQ_CST) < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(__atomic_load_n(&report->workCalls, __ATOMIC_SEQ_CST), 20);
    // The 21st block collects every answer still waiting; its own request may be answered later.
    runBlock(*live);
    EXPECT_GE(report->responses, 20);
    EXPECT_EQ(report->endRuns, 21);
}

#endif
