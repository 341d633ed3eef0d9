#include "VeltranePlatform/MIDI/MIDIPortChoice.hpp"

#include "VeltranePlatform/MIDI/MIDIPorts.hpp"

namespace veltrane {

bool isVeltranePort(const std::string& name)
{
    const auto colon = name.find(':');
    if (colon == std::string::npos) return false;
    const std::string client = name.substr(0, colon);
    const std::string port = name.substr(colon + 1);
    return client.starts_with(MIDIPorts::clientName) && (port == MIDIPorts::inputPortName || port == MIDIPorts::outputPortName);
}

MIDIPortChoice chooseMIDIPorts(std::span<const MIDIPortListing> ports, bool sequencerAlsoOpen)
{
    MIDIPortChoice choice;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const auto& port = ports[i];
        if (port.ours || isVeltranePort(port.name)) continue;
        if (sequencerAlsoOpen && port.name.starts_with("a2j:")) continue;
        if (port.source) choice.sources.push_back(i);
        if (port.destination && !port.through) choice.destinations.push_back(i);
    }
    return choice;
}

} // namespace veltrane
