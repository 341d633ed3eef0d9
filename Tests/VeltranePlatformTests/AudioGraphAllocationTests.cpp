#include "AllocationCounter.hpp"
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

namespace veltrane {
namespace {

constexpr double rate = 48000;

// The full live graph (32 strips of 8 players, the master chain) rendered while the owner thread does
// everything it does during playback between blocks: it queues buffers, stops and starts players,
// rewires, moves every parameter, changes the playback rate, resets, reads the meters and drains.
TEST(AudioGraphAllocations, RenderingNeverAllocates)
{
    AudioGraph graph(rate, 4096);
    auto masterBus = graph.attachNew<AudioMixerNode>();
    auto filter = graph.attachNew<AudioEQNode>();
    auto drive = graph.attachNew<AudioDistortionNode>();
    auto crusher = graph.attachNew<AudioBitCrusherNode>();
    auto delay = graph.attachNew<AudioDelayNode>();
    auto reverb = graph.attachNew<AudioReverbNode>();
    auto timePitch = graph.attachNew<AudioTimePitchNode>();
    auto limiter = graph.attachNew<AudioPeakLimiterNode>();
    graph.connect(*masterBus, *filter);
    graph.connect(*filter, *drive);
    graph.connect(*drive, *crusher);
    graph.connect(*crusher, *delay);
    graph.connect(*delay, *reverb);
    graph.connect(*reverb, *timePitch);
    graph.connect(*timePitch, *limiter);
    graph.connect(*limiter, graph.mainMixer());
    masterBus->installLevelTap();

    struct Strip {
        std::shared_ptr<AudioMixerNode> mixer;
        std::shared_ptr<AudioEQNode> filter;
        std::shared_ptr<AudioDistortionNode> drive;
        std::vector<std::shared_ptr<AudioPlayerNode>> voices;
    };
    std::vector<Strip> strips(32);
    for (Strip& strip : strips) {
        strip.mixer = graph.attachNew<AudioMixerNode>();
        strip.filter = graph.attachNew<AudioEQNode>();
        strip.drive = graph.attachNew<AudioDistortionNode>();
        graph.connect(*strip.mixer, *strip.filter);
        graph.connect(*strip.filter, *strip.drive);
        graph.connect(*strip.drive, *masterBus);
        strip.mixer->installLevelTap();
        for (int voice = 0; voice < 8; ++voice) {
            strip.voices.push_back(graph.attachNew<AudioPlayerNode>());
            graph.connect(*strip.voices.back(), *strip.mixer);
            strip.voices.back()->play();
        }
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
        for (std::size_t i = 0; i < strips.size(); ++i) {
            strips[i].mixer->setOutputVolume(0.5f + phase * 0.5f);
            strips[i].mixer->setPan(phase - 0.5f);
            strips[i].filter->setFrequency(500.0f + 15000.0f * phase);
            strips[i].filter->setBandwidth(0.3f + phase);
            strips[i].drive->setPreGain(phase * 18.0f);
            strips[i].drive->setWetDryMix(phase * 65.0f);
            strips[i].mixer->levelTap().readPeakAndDecay(0.82f);
        }
        filter->setFrequency(18000.0f - 10000.0f * phase);
        crusher->setWetDryMix(block % 200 < 100 ? 100.0f : 0.0f);
        crusher->setRounding(phase * 100.0f);
        crusher->setDecimationMix(phase * 35.0f);
        delay->setWetDryMix(block % 300 < 150 ? 30.0f : 0.0f);
        delay->setDelayTime(0.02 + phase * 0.5);
        delay->setFeedback(phase * 85.0f);
        reverb->setWetDryMix(block % 400 < 250 ? 25.0f : 0.0f);
        timePitch->setRate(block % 250 < 120 ? 1.0f : 0.7f + phase);
        limiter->setPreGain(phase * 12.0f);
        masterBus->levelTap().readPeakAndDecay(0.82f);
        if (block % 90 == 45) schedule(graph.renderedFrames() + 100);
        if (block % 150 == 70) {
            strips[3].voices[0]->stop();
            strips[3].voices[0]->play(graph.renderedFrames() + 512);
            strips[5].voices[1]->scheduleBuffer(note, std::nullopt, {}, AudioPlayerNode::Scheduling::interrupts);
        }
        if (block == 500) graph.disconnectOutput(*strips[7].drive);
        if (block == 600) graph.connect(*strips[7].drive, *masterBus);
        if (block == 800) graph.reset();
        if (block % 10 == 0) graph.drainCompletions();
    }
    graph.drainCompletions();
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(completions, 64);
    EXPECT_GT(masterBus->levelTap().peak(), 0.0f);
}

} // namespace
} // namespace veltrane
