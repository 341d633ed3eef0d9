#pragma once

// Which of the machine's MIDI ports our input listens to and our output reaches: every one, except
// those that would bring our own messages back or a device in twice.

#include <span>
#include <string>
#include <vector>

namespace veltrane {

/// One port as a MIDI service lists it.
struct MIDIPortListing {
    std::string name;      // "client:port"
    bool source = false;   // others can listen to it
    bool destination = false; // others can send to it
    bool ours = false;     // a port of this process
    bool through = false;  // the sequencer's through port, which hands on what it is sent
};

struct MIDIPortChoice {
    std::vector<std::size_t> sources;      // indices of the listing our input connects from
    std::vector<std::size_t> destinations; // indices our output connects to
};

/// True for the input or output port of a Veltrane client, ours or another's.
bool isVeltranePort(const std::string& name);

/// Our ports and another Veltrane's are left out: listening to our own output would echo our clock back
/// in. The through port is not sent to, for the same reason. With `sequencerAlsoOpen`, JACK's bridge
/// of the sequencer's ports ("a2j") is left out, or every device would be heard twice.
MIDIPortChoice chooseMIDIPorts(std::span<const MIDIPortListing> ports, bool sequencerAlsoOpen);

} // namespace veltrane
