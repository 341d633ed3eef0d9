#pragma once

// A JACK MIDI client of a test's own, beside our ports on a test server: it plays into our input what
// the test queues and records what our output sends, with the frame and host time of each arrival.

#if VELTRANE_HAVE_JACK

#include "JackTestServer.hpp"

#include "VeltranePlatform/MIDI/HostTime.hpp"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::testing {

/// The rate of the MIDI tests' servers.
constexpr int midiServerRate = 48000;
/// Our output (RtMidi's JACK ports) writes each message at the start of the cycle after it was handed
/// over, so the period bounds how far a clock's arrival can stray from its time: the clock is measured
/// at this short one. Other MIDI tests take a longer period, which a loaded machine keeps up with.
constexpr int midiClockPeriod = 32;
/// How far apart from 1/24 beat two received clocks may be.
constexpr double midiClockTolerance = 0.001; // seconds

/// Starts a dummy-driver server at `midiServerRate` for the test, or skips the test with the reason.
#define START_JACK_MIDI_SERVER(server, period)                                                      \
    std::string whyNot;                                                                             \
    auto server = ::veltrane::testing::JackTestServer::start(::veltrane::testing::midiServerRate, period, whyNot); \
    if (!server) GTEST_SKIP() << "needs a JACK server: " << whyNot

/// A JACK MIDI client of the test's own: a source that plays what the test queues (one JACK event per
/// queued message) and a destination that records what arrives, with the host time of its frame.
class JackMIDIPeer {
public:
    struct Arrival {
        std::array<std::uint8_t, 4> bytes{};
        std::size_t size = 0;
        std::uint64_t frame = 0;         // on the server's frame clock
        std::uint64_t hostTimeNanos = 0; // when the cycle that brought it ran
    };

    explicit JackMIDIPeer(const char* name = "veltrane-midi-peer") : arrivals_(100000)
    {
        client_ = jack_client_open(name, JackNoStartServer, nullptr);
        if (client_ == nullptr) return;
        source_ = jack_port_register(client_, "to-veltrane", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        destination_ = jack_port_register(client_, "from-veltrane", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        outgoing_ = jack_ringbuffer_create(1 << 16);
        jack_set_process_callback(client_, &JackMIDIPeer::process, this);
        jack_set_xrun_callback(client_, &JackMIDIPeer::xrun, this);
        jack_activate(client_);
    }
    ~JackMIDIPeer()
    {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
        if (outgoing_ != nullptr) jack_ringbuffer_free(outgoing_);
    }

    bool isOpen() const { return client_ != nullptr && source_ != nullptr && destination_ != nullptr; }
    std::string sourceName() const { return jack_port_name(source_); }
    std::string destinationName() const { return jack_port_name(destination_); }
    jack_client_t* client() const { return client_; }

    /// Full names of the ports connected to one of ours.
    std::vector<std::string> connections(const std::string& portName) const
    {
        std::vector<std::string> names;
        jack_port_t* port = jack_port_by_name(client_, portName.c_str());
        if (port == nullptr) return names;
        const char** connected = jack_port_get_all_connections(client_, port);
        for (int i = 0; connected != nullptr && connected[i] != nullptr; ++i) names.emplace_back(connected[i]);
        if (connected != nullptr) jack_free(connected);
        return names;
    }

    /// Plays `bytes` as one JACK event in a coming cycle. Test thread.
    void play(std::vector<std::uint8_t> bytes)
    {
        const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
        jack_ringbuffer_write(outgoing_, reinterpret_cast<const char*>(&size), sizeof size);
        jack_ringbuffer_write(outgoing_, reinterpret_cast<const char*>(bytes.data()), size);
    }

    /// Cycles the server lost (a loaded machine can make it miss one).
    int xruns() const { return xruns_.load(); }
    /// Roughly where each lost cycle was, on the frame clock (told a little after the fact).
    std::vector<std::uint64_t> xrunFrames() const
    {
        const auto count = std::min<std::size_t>(static_cast<std::size_t>(xruns_.load()), xrunFrames_.size());
        return {xrunFrames_.begin(), xrunFrames_.begin() + static_cast<std::ptrdiff_t>(count)};
    }
    std::size_t arrivalCount() const { return arrivalCount_.load(std::memory_order_acquire); }
    const Arrival& arrival(std::size_t index) const { return arrivals_[index]; }

private:
    static int process(jack_nframes_t frames, void* argument)
    {
        auto* self = static_cast<JackMIDIPeer*>(argument);
        void* out = jack_port_get_buffer(self->source_, frames);
        jack_midi_clear_buffer(out);
        while (jack_ringbuffer_read_space(self->outgoing_) >= sizeof(std::uint32_t)) {
            std::uint32_t size = 0;
            jack_ringbuffer_peek(self->outgoing_, reinterpret_cast<char*>(&size), sizeof size);
            if (jack_ringbuffer_read_space(self->outgoing_) < sizeof size + size) break;
            jack_ringbuffer_read_advance(self->outgoing_, sizeof size);
            jack_midi_data_t* data = jack_midi_event_reserve(out, 0, size);
            if (data != nullptr) {
                jack_ringbuffer_read(self->outgoing_, reinterpret_cast<char*>(data), size);
            } else {
                jack_ringbuffer_read_advance(self->outgoing_, size);
            }
        }

        void* in = jack_port_get_buffer(self->destination_, frames);
        const jack_nframes_t cycleStart = jack_last_frame_time(self->client_);
        const std::uint64_t now = hostTimeNanos();
        const std::uint32_t count = jack_midi_get_event_count(in);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) != 0) continue;
            const std::size_t at = self->arrivalCount_.load(std::memory_order_relaxed);
            if (at >= self->arrivals_.size()) break;
            Arrival& arrival = self->arrivals_[at];
            arrival.size = std::min<std::size_t>(event.size, arrival.bytes.size());
            std::copy_n(event.buffer, arrival.size, arrival.bytes.begin());
            arrival.frame = cycleStart + event.time;
            arrival.hostTimeNanos = now;
            self->arrivalCount_.store(at + 1, std::memory_order_release);
        }
        return 0;
    }

    static int xrun(void* argument)
    {
        auto* self = static_cast<JackMIDIPeer*>(argument);
        const int at = self->xruns_.load();
        if (at < static_cast<int>(self->xrunFrames_.size())) self->xrunFrames_[static_cast<std::size_t>(at)] = jack_frame_time(self->client_);
        self->xruns_.store(at + 1);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    std::atomic<int> xruns_{0};
    std::array<std::uint64_t, 4096> xrunFrames_{};
    jack_port_t* source_ = nullptr;
    jack_port_t* destination_ = nullptr;
    jack_ringbuffer_t* outgoing_ = nullptr;
    std::vector<Arrival> arrivals_;
    std::atomic<std::size_t> arrivalCount_{0};
};

/// Whether a cycle the server lost (an xrun, at one of `lostFrames`, told a little after the fact) lies
/// within a tenth of a second of the frames `from` ... `to`: what arrived there may be late or missing.
inline bool besideLostCycle(const std::vector<std::uint64_t>& lostFrames, std::uint64_t from, std::uint64_t to,
                            int sampleRate)
{
    const auto margin = static_cast<std::uint64_t>(sampleRate / 10);
    return std::any_of(lostFrames.begin(), lostFrames.end(),
                       [&](std::uint64_t lost) { return lost + margin >= from && lost <= to + margin; });
}

/// How far the intervals between received clocks (their frames on the server's clock, in order) strayed
/// from `interval` seconds at the most, over those that could be judged: an interval beside a cycle the
/// server lost (at one of `lostFrames`) that is off is left out, as what arrived there may be late.
struct ClockIntervalError {
    double worst = 0; // seconds
    int measured = 0; // intervals judged
};

inline ClockIntervalError clockIntervalError(const std::vector<std::uint64_t>& clockFrames,
                                             const std::vector<std::uint64_t>& lostFrames, int sampleRate,
                                             double interval)
{
    ClockIntervalError result;
    for (std::size_t i = 1; i < clockFrames.size(); ++i) {
        const double error =
            std::abs(static_cast<double>(clockFrames[i] - clockFrames[i - 1]) / sampleRate - interval);
        if (error >= midiClockTolerance && besideLostCycle(lostFrames, clockFrames[i - 1], clockFrames[i], sampleRate)) {
            continue;
        }
        result.worst = std::max(result.worst, error);
        ++result.measured;
    }
    return result;
}

} // namespace veltrane::testing

#endif
