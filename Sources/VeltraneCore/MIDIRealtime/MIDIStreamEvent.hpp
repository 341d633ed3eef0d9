#pragma once

// What the MIDI input hears, once the raw byte stream is parsed: notes, the song position and the four
// real-time transport messages. No event carries the channel: every channel is heard alike.

#include <variant>

namespace veltrane {

/// A note on with a velocity of 1 to 127 (a note on with velocity 0 arrives as a note off).
struct MIDINoteOnEvent {
    int note = 0;
    int velocity = 0;
    friend bool operator==(const MIDINoteOnEvent&, const MIDINoteOnEvent&) = default;
};

/// A note off; its release velocity is not kept.
struct MIDINoteOffEvent {
    int note = 0;
    friend bool operator==(const MIDINoteOffEvent&, const MIDINoteOffEvent&) = default;
};

/// A Song Position Pointer: 0 to 16383 sixteenth notes.
struct MIDISongPositionEvent {
    int position = 0;
    friend bool operator==(const MIDISongPositionEvent&, const MIDISongPositionEvent&) = default;
};

/// Timing Clock (0xF8), 24 to a quarter note.
struct MIDIClockEvent {
    friend bool operator==(const MIDIClockEvent&, const MIDIClockEvent&) = default;
};

/// Start (0xFA).
struct MIDIStartEvent {
    friend bool operator==(const MIDIStartEvent&, const MIDIStartEvent&) = default;
};

/// Continue (0xFB).
struct MIDIContinueEvent {
    friend bool operator==(const MIDIContinueEvent&, const MIDIContinueEvent&) = default;
};

/// Stop (0xFC).
struct MIDIStopEvent {
    friend bool operator==(const MIDIStopEvent&, const MIDIStopEvent&) = default;
};

using MIDIStreamEvent = std::variant<MIDINoteOnEvent, MIDINoteOffEvent, MIDISongPositionEvent, MIDIClockEvent,
                                     MIDIStartEvent, MIDIContinueEvent, MIDIStopEvent>;

} // namespace veltrane
