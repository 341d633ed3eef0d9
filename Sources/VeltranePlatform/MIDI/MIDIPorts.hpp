#pragma once

// Our place on the machine's MIDI services: a client "Veltrane MIDI" with an input port "Veltrane
// Input" that listens to every source, and an output port "Veltrane Output" that reaches every
// destination. Both follow sources and destinations that appear later. It runs over RtMidi on the ALSA
// sequencer, and on JACK MIDI when a JACK server runs; each service that opens is a byte stream of its
// own.
//
// Incoming bytes go to the handler as they arrive, with their host time; this layer does not read them.
// Outgoing messages carry the host time at which they should leave and wait for it on a sender thread;
// a flush drops what still waits.
//
//     MIDIPorts ports([&](int stream, std::span<const std::uint8_t> bytes, std::uint64_t time) { ... });
//     ports.send(clockBytes, hostTimeNanos() + 20'000'000);
//     ports.flush();

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

class MIDIPorts {
public:
    /// Receives the bytes of what arrived at the input (at most 256 at a time) and the host time
    /// (CLOCK_MONOTONIC nanoseconds) at which they arrived. Called on the service's receive thread,
    /// which may be a real-time thread: the handler must not allocate, lock or wait. `stream` is the
    /// index of the service that delivered them (0 ... streamCount() − 1); each stream is delivered from
    /// one thread, in order, so a reader keeps one parser per stream.
    using BytesHandler = std::function<void(int stream, std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)>;

    enum class Service { alsaSequencer, jack };

    struct Options {
        bool useALSASequencer = true;
        bool useJACK = true;
        /// How often sources and destinations are looked for again: the services tell no one when one
        /// appears.
        std::chrono::milliseconds rescanInterval{500};
    };

    /// Opens the ports on every service available and connects them. A service that is missing or
    /// refuses is left out without a message; with none, nothing is received and sends go nowhere.
    explicit MIDIPorts(BytesHandler onBytes);
    MIDIPorts(BytesHandler onBytes, Options options);
    ~MIDIPorts();
    MIDIPorts(const MIDIPorts&) = delete;
    MIDIPorts& operator=(const MIDIPorts&) = delete;

    /// The services open, in stream order.
    std::vector<Service> services() const;
    int streamCount() const;

    /// Queues a message for every destination at `hostTimeNanos`; 0 or a time already past means now.
    /// Main thread or any other non-real-time thread.
    void send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos = 0);
    /// Drops every queued message that has not left yet.
    void flush();

    /// Connects sources and destinations that appeared since the last look. Runs on its own every
    /// rescan interval; callable at any time from a non-real-time thread.
    void rescan();

    /// Full names of the ports our input is connected from, and our output to, as connected by us.
    std::vector<std::string> connectedSources() const;
    std::vector<std::string> connectedDestinations() const;

    static constexpr const char* clientName = "Veltrane MIDI";
    static constexpr const char* inputPortName = "Veltrane Input";
    static constexpr const char* outputPortName = "Veltrane Output";
    /// Incoming deliveries longer than this are cut to it.
    static constexpr std::size_t maximumDeliveryBytes = 256;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace veltrane
