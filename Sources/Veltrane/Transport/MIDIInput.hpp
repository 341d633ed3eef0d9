#pragma once

// The application's MIDI connection: our ports on the machine's MIDI services (`MIDIPorts`: an input
// on every source and an output to every destination, including those that appear later), the one
// parser of each incoming byte stream, and the hand-over of every parsed event to the main thread.
//
// The receive threads only parse and put events in a ring (no allocation, no lock: JACK's is a
// real-time thread) and poke an eventfd; a socket notifier on the main thread then empties the rings and
// calls the handlers, so events reach the model in the order each stream delivered them.

#include "Veltrane/Transport/MIDIConnection.hpp"
#include "Veltrane/Transport/MIDIEventRing.hpp"
#include "VeltraneCore/MIDIRealtime/MIDIStreamParser.hpp"
#include "VeltranePlatform/MIDI/MIDIPorts.hpp"

#include <array>
#include <memory>

class QSocketNotifier;

namespace veltrane {

class MIDIInput final : public MIDIConnection {
public:
    /// Opens the ports on the services `options` allows. Main thread (the events come back to it).
    explicit MIDIInput(MIDIPorts::Options options = {});
    /// Builds the hand-over without opening any port: only `receive` feeds it (tests).
    struct WithoutPorts {};
    explicit MIDIInput(WithoutPorts);
    ~MIDIInput() override;

    void send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos) override;
    void flush() override;
    std::uint64_t hostTime() const override;

    /// What the ports call with the bytes a service delivered: parses them with the stream's parser and
    /// passes the events to the main thread. Never allocates, locks or waits; each stream from one
    /// thread at a time. At most 256 bytes are read of one delivery.
    void receive(int stream, std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos) noexcept;

    /// Hands every event received so far to its handler. Main thread; the socket notifier calls it.
    void deliverPending();

    /// The ports, none when built without them.
    MIDIPorts* ports() noexcept { return ports_.get(); }

    static constexpr int maximumStreams = 4;
    /// Events that may wait for the main thread, per stream.
    static constexpr std::size_t ringCapacity = 4096;

private:
    void openWake();
    void dispatch(const ReceivedMIDIEvent& received);

    std::array<MIDIStreamParser, maximumStreams> parsers_;
    std::array<MIDIEventRing<ringCapacity>, maximumStreams> rings_;
    int wakeDescriptor_ = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
    std::unique_ptr<MIDIPorts> ports_; // last: closed first, so nothing is delivered into a torn-down object
};

} // namespace veltrane
