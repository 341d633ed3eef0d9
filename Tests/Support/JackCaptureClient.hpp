#pragma once

// A JACK client of a test's own, for tests that hear our output through a real JACK server
// (`JackTestServer`): it records what arrives at its two inputs, with the server's frame time of every
// cycle and the graph clock as our device left it in that cycle.

#if VELTRANE_HAVE_JACK

#include "VeltranePlatform/Audio/AudioGraph.hpp"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace veltrane::testing {

// A JACK client of the test's own that records what arrives at its two inputs, with the server's frame
// time of every cycle and the graph clock as our device left it in that cycle (our client feeds this
// one, so JACK runs ours first within each cycle).
class JackCaptureClient {
public:
    struct Cycle {
        jack_nframes_t serverFrame = 0;
        std::int64_t graphFrameAfter = 0;
        std::int64_t captureIndex = 0;
        jack_nframes_t frames = 0;
    };

    /// Room for `seconds` of audio at `sampleRate`.
    explicit JackCaptureClient(const AudioGraph& graph, int sampleRate = 48000, int seconds = 10)
        : JackCaptureClient(&graph, sampleRate, seconds)
    {
    }
    /// A client that only records: the cycles carry no graph clock (it stays 0).
    JackCaptureClient(int sampleRate, int seconds) : JackCaptureClient(nullptr, sampleRate, seconds) {}

private:
    JackCaptureClient(const AudioGraph* graph, int sampleRate, int seconds)
        : graph_(graph), left_(static_cast<std::size_t>(seconds * sampleRate)), right_(left_.size()), cycles_(left_.size() / 16)
    {
        jack_status_t status{};
        client_ = jack_client_open("veltrane-capture", JackNoStartServer, &status);
        if (client_ == nullptr) return;
        inputs_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        inputs_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &JackCaptureClient::process, this);
        jack_set_xrun_callback(client_, &JackCaptureClient::xrun, this);
        jack_activate(client_);
    }

public:
    ~JackCaptureClient()
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
        auto* self = static_cast<JackCaptureClient*>(argument);
        if (!self->armed_.load()) return 0;
        const std::int64_t at = self->captured_.load(std::memory_order_relaxed);
        const std::size_t cycle = self->cycleCount_.load(std::memory_order_relaxed);
        if (at + frames > static_cast<std::int64_t>(self->left_.size()) || cycle >= self->cycles_.size()) return 0;
        const auto* left = static_cast<const float*>(jack_port_get_buffer(self->inputs_[0], frames));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(self->inputs_[1], frames));
        std::copy(left, left + frames, self->left_.begin() + at);
        std::copy(right, right + frames, self->right_.begin() + at);
        self->cycles_[cycle] = {jack_last_frame_time(self->client_), self->graph_ != nullptr ? self->graph_->renderedFrames() : 0, at, frames};
        self->captured_.store(at + frames, std::memory_order_release);
        self->cycleCount_.store(cycle + 1, std::memory_order_release);
        return 0;
    }

    static int xrun(void* argument)
    {
        static_cast<JackCaptureClient*>(argument)->xruns_.fetch_add(1);
        return 0;
    }

    const AudioGraph* graph_;
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

} // namespace veltrane::testing

#endif
