#include "AudioGraphTestSupport.hpp"
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
#include <thread>

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
    auto server = test::JackTestServer::start(serverRate, serverPeriod, whyNot);           \
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot

#if VELTRANE_HAVE_JACK

// A JACK client of the test's own that records what arrives at its two inputs, with the server's frame
// time of every cycle and the graph clock as our device left it in that cycle (our client feeds this
// one, so JACK runs ours first within each cycle).
class CaptureClient {
public:
    struct Cycle {
        jack_nframes_t serverFrame = 0;
        std::int64_t graphFrameAfter = 0;
        std::int64_t captureIndex = 0;
        jack_nframes_t frames = 0;
    };

    explicit CaptureClient(const AudioGraph& graph) : graph_(graph), left_(10 * serverRate), right_(10 * serverRate), cycles_(10 * serverRate / 16)
    {
        jack_status_t status{};
        client_ = jack_client_open("veltrane-capture", JackNoStartServer, &status);
        if (client_ == nullptr) return;
        inputs_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        inputs_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &CaptureClient::process, this);
        jack_set_xrun_callback(client_, &CaptureClient::xrun, this);
        jack_activate(client_);
    }
    ~CaptureClient()
    {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }

    bool isOpen() const { return client_ != nullptr; }

    /// Connects every output port of `clientName` to our inputs, in order.
    int connectFrom(const std::string& clientName)
    {
        const char** ports = jack_get_ports(client_, ("^" + clientName + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        int connected = 0;
        for (int i = 0; ports != nullptr && ports[i] != nullptr && i < 2; ++i) {
            if (jack_connect(client_, ports[i], jack_port_name(inputs_[i])) == 0) ++connected;
        }
        if (ports != nullptr) jack_free(ports);
        return connected;
    }

    /// Starts the recording afresh. Owner thread.
    void restart()
    {
        armed_.store(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // a cycle under way finishes
        captured_.store(0);
        cycleCount_.store(0);
        armed_.store(true);
    }

    /// Cycles the server lost since it started (a loaded machine can make it miss one).
    int xruns() const { return xruns_.load(); }
    std::size_t cycleCount() const { return cycleCount_.load(std::memory_order_acquire); }
    std::int64_t capturedFrames() const { return captured_.load(std::memory_order_acquire); }
    const std::vector<float>& left() const { return left_; }
    const std::vector<float>& right() const { return right_; }
    const Cycle& cycle(std::size_t index) const { return cycles_[index]; }

private:
    static int process(jack_nframes_t frames, void* argument)
    {
        auto* self = static_cast<CaptureClient*>(argument);
        if (!self->armed_.load()) return 0;
        const std::int64_t at = self->captured_.load(std::memory_order_relaxed);
        const std::size_t cycle = self->cycleCount_.load(std::memory_order_relaxed);
        if (at + frames > static_cast<std::int64_t>(self->left_.size()) || cycle >= self->cycles_.size()) return 0;
        const auto* left = static_cast<const float*>(jack_port_get_buffer(self->inputs_[0], frames));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(self->inputs_[1], frames));
        std::copy(left, left + frames, self->left_.begin() + at);
        std::copy(right, right + frames, self->right_.begin() + at);
        self->cycles_[cycle] = {jack_last_frame_time(self->client_), self->graph_.renderedFrames(), at, frames};
        self->captured_.store(at + frames, std::memory_order_release);
        self->cycleCount_.store(cycle + 1, std::memory_order_release);
        return 0;
    }

    static int xrun(void* argument)
    {
        static_cast<CaptureClient*>(argument)->xruns_.fetch_add(1);
        return 0;
    }

    const AudioGraph& graph_;
    std::atomic<bool> armed_{true};
    std::atomic<int> xruns_{0};
    jack_client_t* client_ = nullptr;
    jack_port_t* inputs_[2] = {nullptr, nullptr};
    std::vector<float> left_;
    std::vector<float> right_;
    std::vector<Cycle> cycles_;
    std::atomic<std::int64_t> captured_{0};
    std::atomic<std::size_t> cycleCount_{0};
};

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
    auto sine = test::sineBuffer(serverRate / 10, serverRate, 1000, 0.5f);
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
        EXPECT_EQ(test::peak(left.data(), first + sine->frameLength(), capture.capturedFrames()), 0.0f);
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
    auto again = test::JackTestServer::start(serverRate, serverPeriod, whyNotAgain, name);
    ASSERT_TRUE(again) << whyNotAgain;
    device.reopen();
    EXPECT_TRUE(device.isRunning());
    const std::int64_t before = graph.renderedFrames();
    EXPECT_TRUE(waitFor([&] { return graph.renderedFrames() > before + 10 * serverPeriod; }, 5000ms));
    device.close();
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
