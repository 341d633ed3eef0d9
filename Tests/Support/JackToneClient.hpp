#pragma once

// A JACK client of a test's own that plays a sine tone from one output port, for tests that feed our
// audio input through a real JACK server (`JackTestServer`).

#if VELTRANE_HAVE_JACK

#include <jack/jack.h>

#include <atomic>
#include <cmath>
#include <string>

namespace veltrane::testing {

class JackToneClient {
public:
    JackToneClient(double frequency, float amplitude) : frequency_(frequency), amplitude_(amplitude)
    {
        jack_status_t status{};
        client_ = jack_client_open("veltrane-tone", JackNoStartServer, &status);
        if (client_ == nullptr) return;
        output_ = jack_port_register(client_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        rate_ = jack_get_sample_rate(client_);
        jack_set_process_callback(client_, &JackToneClient::process, this);
        jack_activate(client_);
    }
    ~JackToneClient()
    {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    JackToneClient(const JackToneClient&) = delete;
    JackToneClient& operator=(const JackToneClient&) = delete;

    bool isOpen() const { return client_ != nullptr && output_ != nullptr; }

    /// Connects the tone to every audio input port of `clientName`; says how many it reached.
    int connectTo(const std::string& clientName)
    {
        const char** ports = jack_get_ports(client_, ("^" + clientName + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        int connected = 0;
        for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
            if (jack_connect(client_, jack_port_name(output_), ports[i]) == 0) ++connected;
        }
        if (ports != nullptr) jack_free(ports);
        return connected;
    }

    /// Frames played since the client started.
    long playedFrames() const { return played_.load(); }

private:
    static int process(jack_nframes_t frames, void* argument)
    {
        auto* self = static_cast<JackToneClient*>(argument);
        auto* out = static_cast<float*>(jack_port_get_buffer(self->output_, frames));
        const double step = 2 * M_PI * self->frequency_ / self->rate_;
        for (jack_nframes_t i = 0; i < frames; ++i) {
            out[i] = self->amplitude_ * static_cast<float>(std::sin(self->phase_));
            self->phase_ = std::fmod(self->phase_ + step, 2 * M_PI);
        }
        self->played_.fetch_add(static_cast<long>(frames));
        return 0;
    }

    double frequency_;
    float amplitude_;
    double rate_ = 48000;
    double phase_ = 0;
    jack_client_t* client_ = nullptr;
    jack_port_t* output_ = nullptr;
    std::atomic<long> played_{0};
};

} // namespace veltrane::testing

#endif
