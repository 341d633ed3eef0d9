#include "AudioEngineTestSupport.hpp"
#include "JackCaptureClient.hpp"
#include "JackTestServer.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

constexpr int serverRate = 48000;
constexpr int serverPeriod = 256;

#if VELTRANE_HAVE_JACK

/// Pumps the engine as the model's timer would until `condition` holds; false after `limit`.
template <typename Condition>
bool pumpUntil(AudioEngine& engine, Condition condition, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        engine.drainCompletions();
        std::this_thread::sleep_for(4ms);
    }
    return true;
}

/// The graph frame of every captured sample, from the cycles the capture client recorded.
std::vector<std::int64_t> graphFrames(const testing::JackCaptureClient& capture)
{
    std::vector<std::int64_t> frames(static_cast<std::size_t>(capture.capturedFrames()));
    for (std::size_t c = 0; c < capture.cycleCount(); ++c) {
        const auto& cycle = capture.cycle(c);
        // The client may record a cycle's times before its samples are counted: stay inside what was captured.
        for (jack_nframes_t k = 0; k < cycle.frames && static_cast<std::size_t>(cycle.captureIndex + k) < frames.size(); ++k) {
            frames[static_cast<std::size_t>(cycle.captureIndex + k)] = cycle.graphFrameAfter - cycle.frames + k;
        }
    }
    return frames;
}

TEST(AudioEngineJack, PlaysAPatternThroughTheServerLoopsAndStopsToSilence)
{
    std::string whyNot;
    auto server = testing::JackTestServer::start(serverRate, serverPeriod, whyNot);
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot;

    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    settings.clientName = "veltrane-engine";
    settings.sampleRate = serverRate;
    settings.bufferFrames = serverPeriod;
    AudioEngine engine(AudioEngine::Options{.device = settings});
    // The transport builds its timeline at the engine's rate before the first play: the device's.
    ASSERT_EQ(engine.outputSampleRate(), serverRate);

    // Two rows, each note held for half its row so that every onset follows silence.
    Project project = testing::sequencerProject(2, 1);
    for (int row = 0; row < 2; ++row) {
        Cell cell = testing::noteCell(60 + 12 * row);
        cell.gate = 0.5;
        project.patterns[0].setCell(row, 0, cell);
    }
    const PlaybackTimeline timeline = playbackTimeline(project, PatternScope{0}, 0, 0, engine.outputSampleRate(), true);
    ASSERT_EQ(timeline.totalFrames, 2 * testing::engineRow);

    engine.start();
    testing::JackCaptureClient capture(testing::probe(engine).graph(), serverRate, 8);
    ASSERT_TRUE(capture.isOpen());
    ASSERT_EQ(capture.connectFrom("veltrane-engine"), 2);
    ASSERT_TRUE(pumpUntil(engine, [&] { return capture.cycleCount() > 20; }, 5000ms));

    // A cycle the server misses (an xrun on a loaded machine) loses audio on its way; such a take proves
    // nothing either way and is played again.
    for (int take = 1;; ++take) {
        capture.restart();
        const int xrunsBefore = capture.xruns();

        // The players start 0.05 s after the graph frame at which `schedule` looked at the clock.
        const std::int64_t before = testing::probe(engine).graph().renderedFrames();
        engine.schedule(timeline, project, true, false, 0);
        const std::int64_t after = testing::probe(engine).graph().renderedFrames();
        const std::int64_t earliestStart = before + testing::engineLead;
        ASSERT_LE(after - before, serverPeriod) << "schedule took more than a period";

        // Three cycles: the first and two loops.
        const std::int64_t played = earliestStart + 3 * timeline.totalFrames;
        ASSERT_TRUE(pumpUntil(engine, [&] { return testing::probe(engine).graph().renderedFrames() > played + serverPeriod; }, 5000ms));
        engine.stop();
        const std::int64_t stoppedAt = testing::probe(engine).graph().renderedFrames();
        ASSERT_TRUE(pumpUntil(engine, [&] { return testing::probe(engine).graph().renderedFrames() > stoppedAt + 2 * timeline.totalFrames; }, 5000ms));
        std::this_thread::sleep_for(20ms); // the capture client's cycle after ours
        if (capture.xruns() != xrunsBefore && take < 5) continue;

        const auto frames = graphFrames(capture);
        const auto& left = capture.left();
        const auto& right = capture.right();
        const auto sounds = [&](std::size_t i) { return std::abs(left[i]) > 1e-4f || std::abs(right[i]) > 1e-4f; };
        const auto onsetFrom = [&](std::int64_t graphFrame) -> std::int64_t {
            for (std::size_t i = 0; i < frames.size(); ++i) {
                if (frames[i] >= graphFrame && sounds(i)) return frames[i];
            }
            return -1;
        };
        // The master limiter's look-ahead reaches the server as latency.
        const std::int64_t latency = testing::probe(engine).mixdown().latencyFrames();
        for (int cycle = 0; cycle < 3; ++cycle) {
            for (int row = 0; row < 2; ++row) {
                const std::int64_t expected = earliestStart + latency + cycle * timeline.totalFrames + row * testing::engineRow;
                const std::int64_t onset = onsetFrom(expected - testing::engineRow / 4);
                EXPECT_GE(onset, expected) << "cycle " << cycle << " row " << row;
                EXPECT_LE(onset, expected + (after - before)) << "cycle " << cycle << " row " << row;
            }
        }
        // Within a block of the stop, silence, and silence from then on.
        std::int64_t lastSound = -1;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (sounds(i)) lastSound = frames[i];
        }
        EXPECT_GT(lastSound, played);
        EXPECT_LT(lastSound, stoppedAt + latency + serverPeriod);
        EXPECT_GT(frames.back(), stoppedAt + timeline.totalFrames);
        break;
    }
}

// The server goes away under a looping playback and comes back at another rate, as a restarted JACK
// server does: the engine reports the change once, cannot recover while no server runs (and stays
// usable), recovers once the server is back, adopts its rate, and plays the pattern again from the top.
TEST(AudioEngineJack, PlaybackResumesAfterTheServerRestartsAtAnotherRate)
{
    std::string whyNot;
    auto server = testing::JackTestServer::start(serverRate, serverPeriod, whyNot);
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot;
    const std::string serverName = server->name();

    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    settings.clientName = "veltrane-recovering";
    settings.sampleRate = serverRate;
    settings.bufferFrames = serverPeriod;
    AudioEngine engine(AudioEngine::Options{.device = settings});
    int changes = 0;
    engine.onConfigurationChange = [&] { ++changes; };

    Project project = testing::sequencerProject(2, 1);
    for (int row = 0; row < 2; ++row) {
        Cell cell = testing::noteCell(60 + 12 * row);
        cell.gate = 0.5;
        project.patterns[0].setCell(row, 0, cell);
    }
    const auto playAndListen = [&](int rate) {
        const PlaybackTimeline timeline = playbackTimeline(project, PatternScope{0}, 0, 0, engine.outputSampleRate(), true);
        EXPECT_EQ(engine.outputSampleRate(), rate);
        engine.start();
        testing::JackCaptureClient capture(testing::probe(engine).graph(), rate, 4);
        EXPECT_TRUE(capture.isOpen());
        EXPECT_EQ(capture.connectFrom("veltrane-recovering"), 2);
        engine.schedule(timeline, project, true, false, 0);
        const auto heard = [&] {
            const auto& left = capture.left();
            for (std::int64_t i = 0; i < capture.capturedFrames(); ++i) {
                if (std::abs(left[static_cast<std::size_t>(i)]) > 1e-3f) return true;
            }
            return false;
        };
        // Sound within the first two loop cycles.
        return pumpUntil(engine, heard, 3000ms);
    };

    ASSERT_TRUE(playAndListen(serverRate)) << "playback before the change";
    EXPECT_EQ(changes, 0);

    server->stop();
    ASSERT_TRUE(pumpUntil(engine, [&] { return changes > 0; }, 5000ms));
    engine.stop(); // the model stops playback first
    EXPECT_THROW(engine.recoverAfterConfigurationChange(), AudioDeviceError) << "no server yet";
    EXPECT_FALSE(engine.isRunning());

    auto restarted = testing::JackTestServer::start(44100, serverPeriod, whyNot, serverName);
    ASSERT_TRUE(restarted) << whyNot;
    engine.recoverAfterConfigurationChange();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(playAndListen(44100)) << "playback after the server came back";
    engine.stop();
    EXPECT_EQ(changes, 1) << "one loss, one report";
}

#endif

} // namespace
} // namespace veltrane
