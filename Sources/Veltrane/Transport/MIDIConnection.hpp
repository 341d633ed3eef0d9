#pragma once

// What the model asks of MIDI: the events every source sends us, already parsed and handed to the main
// thread, and a way out to every destination. The application's connection is `MIDIInput` over the
// machine's MIDI services; tests hand the model one they drive themselves.

#include <cstdint>
#include <functional>
#include <span>

namespace veltrane {

class MIDIConnection {
public:
    virtual ~MIDIConnection() = default;

    /// Queues `bytes` for every destination at `hostTimeNanos` (CLOCK_MONOTONIC); 0 or a time already
    /// past means now. Main thread.
    virtual void send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos) = 0;
    /// Drops every queued message that has not left yet. Main thread.
    virtual void flush() = 0;
    /// Now on the clock of the time stamps (CLOCK_MONOTONIC nanoseconds).
    virtual std::uint64_t hostTime() const = 0;

    // What arrived, each event on the main thread in the order it arrived. Events that find no handler
    // are dropped.
    std::function<void(int note, int velocity)> onNoteOn;
    std::function<void(int note)> onNoteOff;
    /// A Timing Clock and the host time at which it arrived.
    std::function<void(std::uint64_t hostTimeNanos)> onClock;
    std::function<void(std::uint64_t hostTimeNanos)> onStart;
    std::function<void(std::uint64_t hostTimeNanos)> onContinue;
    std::function<void(std::uint64_t hostTimeNanos)> onStop;
    /// A Song Position Pointer, in sixteenth notes.
    std::function<void(int position)> onSongPosition;
};

} // namespace veltrane
