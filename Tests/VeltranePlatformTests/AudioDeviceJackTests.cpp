#include "AudioGraphTestSupport.hpp"
#include "JackCaptureClient.hpp"
#include "JackTestServer.hpp"

#include "VeltranePlatform/Audio/AudioDevice.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"

#include <gtest/gtest.h>

#if VELTRANE_HAVE_JACK
#include <jack/jack.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace veltrane {
namespace {

using namespace std::chrono_literals;

constexpr int serverRate = 48000;
constexpr int serverPeriod = 256;

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit, const std::function<void()>& meanwhile = {})
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (meanwhile) meanwhile();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

#define START_JACK_SERVER(server)                                                           \
    std::string whyNot;                                                                     \
    auto server = testing::JackTestServer::start(serverRate, serverPeriod, whyNot);           \
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot

#if VELTRANE_HAVE_JACK

using CaptureClient = testing::JackCaptureClient;

AudioDeviceSettings jackSettings(const std::string& clientName)
{
    AudioDeviceSettings settings;
    settings.backend = AudioBackend::jack;
    settings.clientName = clientName;
    settings.sampleRate = serverRate;
    settings.bufferFrames = serverPeriod;
    return settings;
}

TEST(AudioDeviceJack, ScheduledSineReachesTheServerAtItsFrame)
{
    START_JACK_SERVER(server);
    AudioGraph graph(serverRate);
    auto player = std::make_shared<AudioPlayerNode>();
    graph.attach(player);
    graph.connect(*player, graph.mainMixer());

    AudioDevice device(&graph);
    device.open(jackSettings("veltrane-under-test"));
    EXPECT_EQ(device.format().backend, AudioBackend::jack);
    EXPECT_EQ(device.format().sampleRate, serverRate);
    EXPECT_EQ(device.format().bufferFrames, serverPeriod);
    EXPECT_EQ(device.format().outputChannels, 2);
    device.start();

    CaptureClient capture(graph);
    ASSERT_TRUE(capture.isOpen());
    ASSERT_EQ(capture.connectFrom("veltrane-under-test"), 2);
    const std::size_t connectedAt = capture.cycleCount();
    ASSERT_TRUE(waitFor([&] { return capture.cycleCount() > connectedAt + 20; }, 5000ms));

    // A cycle the server misses (an xrun on a loaded machine) loses audio on its way; such a take
    // proves nothing either way and is made again.
    auto sine = testing::sineBuffer(serverRate / 10, serverRate, 1000, 0.5f);
    for (int take = 1;; ++take) {
        capture.restart();
        const int xrunsBefore = capture.xruns();
        const std::uint64_t underrunsBefore = device.underrunCount();
        // A 1 kHz sine of 0.1 s, on a player that starts 0.2 s from now on the graph clock.
        const std::int64_t startFrame = graph.renderedFrames() + serverRate / 5;
        std::vector<AudioPlayerCompletion> completions;
        player->scheduleBuffer(sine, 0, [&](AudioPlayerCompletion result) { completions.push_back(result); });
        player->play(startFrame);
        ASSERT_TRUE(waitFor([&] { return capture.cycleCount() > 0 && capture.cycle(capture.cycleCount() - 1).graphFrameAfter > startFrame + serverRate / 5; },
                            5000ms, [&] { graph.drainCompletions(); }));
        graph.drainCompletions();
        player->stop();
        if ((capture.xruns() != xrunsBefore || device.underrunCount() != underrunsBefore) && take < 5) continue;

        const auto& left = capture.left();
        const auto& right = capture.right();
        std::int64_t first = -1;
        for (std::int64_t i = 0; i < capture.capturedFrames(); ++i) {
            if (left[static_cast<std::size_t>(i)] != 0.0f || right[static_cast<std::size_t>(i)] != 0.0f) {
                first = i;
                break;
            }
        }
        ASSERT_GE(first, 0) << "nothing reached the capture client";
        std::size_t cycleIndex = 0;
        while (cycleIndex + 1 < capture.cycleCount() && capture.cycle(cycleIndex + 1).captureIndex <= first) ++cycleIndex;
        const auto& cycle = capture.cycle(cycleIndex);
        const std::int64_t offset = first - cycle.captureIndex;
        // The first sample arrived in the JACK cycle in which our device rendered graph frame
        // `startFrame`, at the same place in the cycle.
        EXPECT_EQ(cycle.graphFrameAfter - static_cast<std::int64_t>(cycle.frames) + offset, startFrame);
        EXPECT_EQ((static_cast<std::int64_t>(cycle.serverFrame) + offset - startFrame) % serverPeriod, 0);
        // Every sample came through unchanged, and then silence.
        for (std::int64_t i = 0; i < sine->frameLength(); ++i) {
            ASSERT_EQ(left[static_cast<std::size_t>(first + i)], sine->channel(0)[i]) << i << ", take " << take;
            ASSERT_EQ(right[static_cast<std::size_t>(first + i)], sine->channel(1)[i]) << i << ", take " << take;
        }
        EXPECT_EQ(testing::peak(left.data(), first + sine->frameLength(), capture.capturedFrames()), 0.0f);
        EXPECT_EQ(completions, std::vector<AudioPlayerCompletion>{AudioPlayerCompletion::played});
        break;
    }
    device.stop();
}

TEST(AudioDeviceJack, RunsAtTheServerRateAndTellsTheGraph)
{
    START_JACK_SERVER(server);
    AudioGraph graph(44100, 64);
    AudioDevice device(&graph);
    AudioDeviceSettings settings = jackSettings("veltrane-rate");
    settings.sampleRate = 44100;
    settings.bufferFrames = 64;
    device.open(settings);
    EXPECT_EQ(device.format().sampleRate, serverRate);
    EXPECT_EQ(graph.sampleRate(), serverRate);
    EXPECT_GE(graph.maximumFrames(), serverPeriod);
    device.start();
    EXPECT_TRUE(waitFor([&] { return graph.renderedFrames() >= 10 * serverPeriod; }, 5000ms));
    const auto expected = device.timeOfGraphFrame(graph.renderedFrames());
    ASSERT_TRUE(expected.has_value());
    EXPECT_LT(std::chrono::abs(*expected - std::chrono::steady_clock::now()), 500ms);
}

TEST(AudioDeviceJack, ServerShutdownIsReportedAndTheDeviceReopens)
{
    START_JACK_SERVER(server);
    AudioGraph graph(serverRate);
    AudioDevice device(&graph);
    int changes = 0;
    device.setConfigurationChangeHandler([&] { ++changes; });
    device.open(jackSettings("veltrane-reopen"));
    device.start();
    ASSERT_TRUE(waitFor([&] { return graph.renderedFrames() > 0; }, 5000ms));
    device.pollEvents();
    EXPECT_EQ(changes, 0);

    const std::string name = server->name();
    server->stop();
    EXPECT_TRUE(waitFor([&] { return changes > 0; }, 5000ms, [&] { device.pollEvents(); }));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(device.isRunning());
    device.pollEvents();
    EXPECT_EQ(changes, 1); // one loss, one report

    std::string whyNotAgain;
    auto again = testing::JackTestServer::start(serverRate, serverPeriod, whyNotAgain, name);
    ASSERT_TRUE(again) << whyNotAgain;
    device.reopen();
    EXPECT_TRUE(device.isRunning());
    const std::int64_t before = graph.renderedFrames();
    EXPECT_TRUE(waitFor([&] { return graph.renderedFrames() > before + 10 * serverPeriod; }, 5000ms));
    device.close();
}

// Runs `steps` in a child process and says how far it got: each step that returns writes its index to a
// pipe, so a step that hangs shows as the first index missing, without hanging the test program.
// Nothing when the child finished every step; else the index of the step that did not return in time.
struct ChildRun {
    pid_t pid = -1;
    int fromChild = -1;
    int toChild = -1;
};

ChildRun runInChild(const std::vector<std::function<void()>>& steps)
{
    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(up[0]);
        ::close(down[1]);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            // Each step waits for the parent's word before it runs.
            char go = 0;
            if (::read(down[0], &go, 1) != 1) ::_exit(3);
            steps[i]();
            const char done = static_cast<char>(i);
            if (::write(up[1], &done, 1) != 1) ::_exit(3);
        }
        ::_exit(0);
    }
    ::close(up[1]);
    ::close(down[0]);
    return {pid, up[0], down[1]};
}

// Lets the child run its next step and waits for it to return. False, with the reason in `failure`, when
// it did not return within `limit` or the child died in it.
bool childStep(ChildRun& child, std::chrono::milliseconds limit, std::string& failure,
               const std::function<void()>& meanwhile = {})
{
    const char go = 1;
    if (child.pid <= 0 || ::write(child.toChild, &go, 1) != 1) {
        failure = "the child process is gone";
        return false;
    }
    if (meanwhile) meanwhile();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    ::fcntl(child.fromChild, F_SETFL, O_NONBLOCK);
    while (std::chrono::steady_clock::now() < deadline) {
        char done = 0;
        const ssize_t got = ::read(child.fromChild, &done, 1);
        if (got == 1) return true;
        if (got == 0) {
            int status = 0;
            ::waitpid(child.pid, &status, 0);
            child.pid = -1;
            failure = WIFSIGNALED(status) ? std::string("it crashed: ") + ::strsignal(WTERMSIG(status))
                                          : "it exited with status " + std::to_string(WEXITSTATUS(status));
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    failure = "it did not return within " + std::to_string(limit.count() / 1000) + " s";
    return false;
}

void endChild(ChildRun& child)
{
    if (child.pid > 0) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, nullptr, 0);
        child.pid = -1;
    }
    ::close(child.fromChild);
    ::close(child.toChild);
}

TEST(AudioDeviceJack, StopAndCloseReturnWhenTheServerDiesAtThatMoment)
{
    // The device runs in a child process, so a stop that never returns fails this test instead of
    // hanging the test program.
    const struct {
        const char* name;
        bool freezeFirst; ///< the server hangs while the device stops, then dies
    } cases[] = {
        {"the server dies while the device stops", true},
        {"the server dies just before the device stops", false},
    };
    for (const auto& c : cases) {
        START_JACK_SERVER(server);
        AudioGraph graph(serverRate);
        AudioDevice device(&graph);
        ChildRun child = runInChild({
            [&] {
                device.open(jackSettings("veltrane-dying"));
                device.start();
                if (!waitFor([&] { return graph.renderedFrames() > 10 * serverPeriod; }, 5000ms)) ::_exit(4);
            },
            [&] { device.stop(); },
            [&] { device.close(); },
        });
        ASSERT_GT(child.pid, 0);
        std::string failure;
        ASSERT_TRUE(childStep(child, 10000ms, failure)) << c.name << ": the device did not start: " << failure;
        bool stopped = false;
        if (c.freezeFirst) {
            server->freeze();
            stopped = childStep(child, 20000ms, failure, [&] {
                std::this_thread::sleep_for(300ms);
                server->kill();
            });
        } else {
            server->kill();
            stopped = childStep(child, 20000ms, failure);
        }
        EXPECT_TRUE(stopped) << c.name << ": stop(): " << failure;
        if (stopped) {
            EXPECT_TRUE(childStep(child, 20000ms, failure)) << c.name << ": close(): " << failure;
        }
        endChild(child);
    }
}

// Listing devices opens and closes a JACK client at once, while the server is still telling it about
// the clients already there; a running device makes sure there are such notices. However often that
// happens, the device still closes and a new one opens and plays.
TEST(AudioDeviceJack, ClientsClosedRightAfterOpeningLeaveLaterClientsWorking)
{
    START_JACK_SERVER(server);
    AudioGraph graph(serverRate);
    AudioDevice device(&graph);
    AudioDevice again(&graph);
    ChildRun child = runInChild({
        [&] {
            device.open(jackSettings("veltrane-listing"));
            device.start();
            for (int round = 0; round < 40; ++round) {
                if (AudioDevice::devices(AudioBackend::jack).empty()) ::_exit(4);
            }
            device.close();
            again.open(jackSettings("veltrane-listing-again"));
            again.start();
            const std::int64_t before = graph.renderedFrames();
            if (!waitFor([&] { return graph.renderedFrames() > before + 10 * serverPeriod; }, 5000ms)) ::_exit(5);
            again.close();
        },
    });
    ASSERT_GT(child.pid, 0);
    std::string failure;
    EXPECT_TRUE(childStep(child, 60000ms, failure)) << failure;
    endChild(child);
}

#endif

TEST(AudioDeviceJack, OpeningWithoutAServerFails)
{
    ::setenv("JACK_DEFAULT_SERVER", ("veltrane-no-server-" + std::to_string(::getpid())).c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    AudioGraph graph(serverRate);
    AudioDevice device(&graph);
    try {
        device.open(jackSettings("veltrane-nothing"));
        FAIL() << "opened a JACK device without a server";
    } catch (const AudioDeviceError& error) {
        EXPECT_EQ(error.errorCase(), AudioDeviceError::Case::unavailable);
        EXPECT_FALSE(std::string(error.what()).empty());
    }
    EXPECT_FALSE(device.isOpen());
    EXPECT_THROW(device.start(), AudioDeviceError);
}

} // namespace
} // namespace veltrane
