#include "AllocationCounter.hpp"
#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace veltrane;
using namespace veltrane::testing;

TEST(PluginHostRealTime, ProcessNeverAllocates)
{
    VELTRANE_REQUIRE_MDA();
    {
        AllocationCounter counter;
        auto probe = std::make_unique<int>(1);
        ASSERT_EQ(counter.count(), 1) << "the counter sees allocations";
    }
    auto jx10 = installedPlugins().instantiate(jx10Uri, 44100.0, 128);
    auto delay = installedPlugins().instantiate(delayUri, 44100.0, 128);
    StereoBuffer in(1000), out(1000);
    std::vector<PluginMidiEvent> events;
    for (int i = 0; i < 300; ++i)  // unsorted, out of range and spread over several slices
        events.push_back(i % 2 ? noteOn((i * 37) % 1100 - 20, std::uint8_t(30 + i % 60))
                               : noteOff((i * 53) % 1000, std::uint8_t(30 + i % 60)));

    AllocationCounter counter;
    for (int block = 0; block < 20; ++block) {
        jx10->setParameterValue(0, float(block % 4) / 4.0f);
        jx10->process(nullptr, out.channels(), out.frames(), events);
        delay->process(out.channels(), out.channels(), out.frames(), {});
        delay->setBypassed(block % 3 == 0);
    }
    EXPECT_EQ(counter.count(), 0);
    EXPECT_GT(peak(out, 0, out.frames()), 0.0f);
}
