#include "Veltrane/Views/Transport/MidiSourceCount.hpp"

#include <RtMidi.h>

namespace veltrane {

int midiSourceCount()
{
    try {
        RtMidiIn input(RtMidi::UNSPECIFIED, "Veltrane MIDI Count");
        // A machine without a sequencer reports its failure through this callback; it is no error here.
        input.setErrorCallback([](RtMidiError::Type, const std::string&, void*) {});
        return static_cast<int>(input.getPortCount());
    } catch (const RtMidiError&) {
        return 0;
    }
}

} // namespace veltrane
