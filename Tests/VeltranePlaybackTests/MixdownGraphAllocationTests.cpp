#include "AllocationCounter.hpp"
#include "AudioGraphTestSupport.hpp"

#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

constexpr double rate = 48000;

// The live mixdown graph at full size (32 strips of 8 players, the master chain) rendered while the owner
// thread does everything it does during playback between blocks: it queues buffers, stops and starts
// players, rewires, moves every parameter, changes the playback rate, resets, reads the meters and drains.
TEST(MixdownGraphAllocations, RenderingNeverAllocates)
{
    MixdownGraph mixdown(MixdownOptions::live(rate, 4096));
    AudioGraph& graph = mixdown.graph();
    MixdownMaster& master = mixdown.master();
    auto& strips = mixdown.strips();
    for (int strip = 0; strip < mixdown.stripCount(); ++strip) {
        mixdown.connectStrip(strip);
        for (const auto& voice : strips[static_cast<std::size_t>(strip)].voices) voice->play();
    }
    auto note = testing::noiseBuffer(20000, rate, 0.4f);
    int completions = 0;
    auto schedule = [&](std::int64_t frame) {
        for (int i = 0; i < 64; ++i) {
            strips[static_cast<std::size_t>(i % 32)].voices[static_cast<std::size_t>(i / 32)]->scheduleBuffer(
                note, frame + i * 37, [&](AudioPlayerCompletion) { ++completions; });
        }
    };
    schedule(0);

    std::vector<float> left(256), right(256);
    {
        testing::AllocationCounter counter;
        auto probe = std::make_unique<int>(1);
        ASSERT_EQ(counter.count(), 1) << "the counter sees allocations";
    }
    std::int64_t allocations = 0;
    for (int block = 0; block < 1200; ++block) {
        {
            testing::AllocationCounter counter;
            graph.render(left.data(), right.data(), 256);
            allocations += counter.count();
        }
        const float phase = static_cast<float>(block % 100) / 100.0f;
        for (MixdownStrip& strip : strips) {
            strip.mixer->setOutputVolume(0.5f + phase * 0.5f);
            strip.mixer->setPan(phase - 0.5f);
            strip.filter->setFrequency(500.0f + 15000.0f * phase);
            strip.filter->setBandwidth(0.3f + phase);
            mixdown.setStripDrive(strip, phase);
            strip.mixer->levelTap().readPeakAndDecay(0.82f);
        }
        master.filter->setFrequency(18000.0f - 10000.0f * phase);
        mixdown.setMasterBitDepth(block % 200 < 100 ? 16.0 - 12.0 * phase : 16.0);
        master.delay->setWetDryMix(block % 300 < 150 ? 30.0f : 0.0f);
        master.delay->setDelayTime(0.02 + phase * 0.5);
        master.delay->setFeedback(phase * 85.0f);
        master.reverb->setWetDryMix(block % 400 < 250 ? 25.0f : 0.0f);
        master.timePitch->setRate(block % 250 < 120 ? 1.0f : 0.7f + phase);
        master.limiter->setPreGain(phase * 12.0f);
        master.bus->levelTap().readPeakAndDecay(0.82f);
        if (block % 90 == 45) schedule(graph.renderedFrames() + 100);
        if (block % 150 == 70) {
            strips[3].voices[0]->stop();
            strips[3].voices[0]->play(graph.renderedFrames() + 512);
            strips[5].voices[1]->scheduleBuffer(note, std::nullopt, {}, AudioPlayerNode::Scheduling::interrupts);
        }
        if (block == 500) graph.disconnectOutput(*strips[7].drive);
        if (block == 600) graph.connect(*strips[7].drive, *master.bus);
        if (block == 800) graph.reset();
        if (block % 10 == 0) graph.drainCompletions();
    }
    graph.drainCompletions();
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(completions, 64);
    EXPECT_GT(master.bus->levelTap().peak(), 0.0f);
}

} // namespace
} // namespace veltrane
