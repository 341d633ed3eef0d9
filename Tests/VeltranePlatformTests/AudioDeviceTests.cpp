#include "AllocationCounter.hpp"
#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioDevice.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

AudioDeviceSettings nullSettings(double rate = 48000, int bufferFrames = 256)
{
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::null;
    settings.sampleRate = rate;
    settings.bufferFrames = bufferFrames;
    return settings;
}

TEST(AudioDevice, NullDevicePullsTheGraphAtRealTimePace)
{
    AudioGraph graph(48000);
    AudioDevice device(&graph);
    device.open(nullSettings());
    EXPECT_TRUE(device.isOpen());
    EXPECT_EQ(device.format().backend, AudioBackend::null);
    const auto started = std::chrono::steady_clock::now();
    device.start();
    std::this_thread::sleep_for(400ms);
    const std::int64_t frames = graph.renderedFrames();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    device.stop();
    // Never ahead of the clock (one buffer is rendered as soon as it starts); a busy machine may let
    // it fall behind, so the lower bound is loose.
    EXPECT_LE(frames, static_cast<std::int64_t>(elapsed * 48000) + 2 * 256);
    EXPECT_GE(frames, static_cast<std::int64_t>(0.1 * 48000));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(graph.renderedFrames(), frames); // stopped means stopped
    EXPECT_FALSE(device.isRunning());
}

TEST(AudioDevice, PlaysScheduledBuffersAndDeliversTheirCompletions)
{
    AudioGraph graph(48000);
    auto player = std::make_shared<AudioPlayerNode>();
    graph.attach(player);
    graph.connect(*player, graph.mainMixer());
    AudioLevelTap& meter = graph.mainMixer().installLevelTap();
    AudioDevice device(&graph);
    device.open(nullSettings());
    device.start();
    std::optional<AudioPlayerCompletion> result;
    player->scheduleBuffer(testing::makeBuffer(2400, 48000, [](int, std::int64_t) { return 0.25f; }), std::nullopt,
                           [&](AudioPlayerCompletion completion) { result = completion; });
    player->play();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (!result && std::chrono::steady_clock::now() < deadline) {
        graph.drainCompletions();
        std::this_thread::sleep_for(5ms);
    }
    device.close();
    EXPECT_EQ(result, AudioPlayerCompletion::played);
    EXPECT_EQ(meter.peak(), 0.25f);
}

TEST(AudioDevice, OpeningAdoptsTheDeviceFormatIntoTheGraph)
{
    AudioGraph graph(44100, 64);
    AudioDevice device(&graph);
    device.open(nullSettings(96000, 512));
    EXPECT_EQ(device.format().sampleRate, 96000);
    EXPECT_EQ(device.format().bufferFrames, 512);
    EXPECT_EQ(graph.sampleRate(), 96000);
    EXPECT_EQ(graph.maximumFrames(), 512);

    // Nonsense settings are held to what a device can do.
    device.open(nullSettings(-1, 1 << 20));
    EXPECT_EQ(device.format().sampleRate, 48000);
    EXPECT_EQ(device.format().bufferFrames, 8192);
}

TEST(AudioDevice, InputOnlyDeviceFeedsTheInputHandler)
{
    AudioDevice device; // no graph: nothing to play
    std::atomic<int> blocks{0};
    std::atomic<int> channels{0};
    std::atomic<bool> allZero{true};
    device.setInputHandler([&](const float* const* input, int channelCount, int frames) {
        channels = channelCount;
        for (int channel = 0; channel < channelCount; ++channel) {
            for (int i = 0; i < frames; ++i) {
                if (input[channel][i] != 0.0f) allZero = false;
            }
        }
        ++blocks;
    });
    AudioDeviceSettings settings = nullSettings();
    settings.outputChannels = 0;
    settings.inputChannels = 1;
    device.open(settings);
    EXPECT_EQ(device.format().inputChannels, 1);
    EXPECT_EQ(device.format().outputChannels, 0);
    device.start();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (blocks < 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    device.stop();
    EXPECT_GE(blocks, 5);
    EXPECT_EQ(channels, 1);
    EXPECT_TRUE(allZero);
}

TEST(AudioDevice, ReopenAndRestartKeepTheGraphClockRunning)
{
    AudioGraph graph(48000);
    AudioDevice device(&graph);
    EXPECT_THROW(device.reopen(), AudioDeviceError); // never opened
    EXPECT_THROW(device.start(), AudioDeviceError);
    device.open(nullSettings());
    device.start();
    std::this_thread::sleep_for(50ms);
    device.reopen();
    EXPECT_TRUE(device.isRunning());
    const std::int64_t before = graph.renderedFrames();
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (graph.renderedFrames() <= before && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    EXPECT_GT(graph.renderedFrames(), before);
    device.pollEvents(); // a device that is fine reports nothing
    device.close();
    EXPECT_FALSE(device.isOpen());
    device.close(); // twice is fine
}

TEST(AudioDevice, ListsTheNullDeviceAndTheBackendsOfThisBuild)
{
    const auto backends = AudioDevice::availableBackends();
    EXPECT_EQ(backends.back(), AudioBackend::null);
    const auto devices = AudioDevice::devices(AudioBackend::null);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "No audio device");
    EXPECT_TRUE(devices[0].isDefaultOutput);
}

// The device thread renders, takes completions back from players and runs the reverb's tail while
// the owner schedules and drains: none of it may allocate on that thread.
TEST(AudioDevice, DeviceThreadNeverAllocates)
{
    AudioGraph graph(48000);
    auto player = std::make_shared<AudioPlayerNode>();
    auto reverb = std::make_shared<AudioReverbNode>();
    graph.attach(player);
    graph.attach(reverb);
    graph.connect(*player, *reverb);
    graph.connect(*reverb, graph.mainMixer());
    reverb->setWetDryMix(30);
    player->play();

    std::atomic<std::int64_t> allocations{-1};
    AudioDevice device(&graph);
    device.setInputHandler([&](const float* const*, int, int) {
        // Counts everything this thread allocates from its first block on.
        static thread_local testing::AllocationCounter counter;
        allocations = counter.count();
    });
    AudioDeviceSettings settings = nullSettings(48000, 128);
    settings.inputChannels = 2;
    device.open(settings);
    device.start();
    auto note = testing::noiseBuffer(1000, 48000, 0.3f);
    int played = 0;
    for (int i = 0; i < 40; ++i) {
        player->scheduleBuffer(note, std::nullopt, [&](AudioPlayerCompletion) { ++played; });
        reverb->setWetDryMix(static_cast<float>(i % 4) * 10.0f);
        std::this_thread::sleep_for(10ms);
        graph.drainCompletions();
    }
    std::this_thread::sleep_for(30ms);
    const std::int64_t counted = allocations.load();
    device.stop();
    graph.drainCompletions();
    EXPECT_EQ(counted, 0);
    EXPECT_GT(played, 10);
}

} // namespace
} // namespace veltrane
