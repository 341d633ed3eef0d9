#include "VeltranePlatform/MIDI/MIDIPortChoice.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

std::vector<std::string> names(const std::vector<MIDIPortListing>& ports, const std::vector<std::size_t>& chosen)
{
    std::vector<std::string> result;
    for (const std::size_t i : chosen) result.push_back(ports[i].name);
    return result;
}

TEST(MIDIPortChoice, ConnectsEveryPortButThoseThatWouldEchoOrDouble)
{
    const std::vector<MIDIPortListing> ports = {
        {.name = "Keystation:Keystation MIDI 1", .source = true, .destination = true},
        {.name = "Midi Through:Midi Through Port-0", .source = true, .destination = true, .through = true},
        {.name = "Veltrane MIDI:Veltrane Input", .destination = true, .ours = true},
        {.name = "Veltrane MIDI:Veltrane Output", .source = true, .ours = true},
        {.name = "Veltrane MIDI-01:Veltrane Output", .source = true},  // another Veltrane, or our second JACK client
        {.name = "Veltrane MIDI:Other", .source = true},                // not one of our two ports
        {.name = "a2j:Keystation [20] (capture): Keystation MIDI 1", .source = true},
        {.name = "synth:midi_in", .destination = true},
        {.name = "meter:levels", .source = false, .destination = false},
    };
    const auto alone = chooseMIDIPorts(ports, false);
    EXPECT_EQ(names(ports, alone.sources),
              (std::vector<std::string>{"Keystation:Keystation MIDI 1", "Midi Through:Midi Through Port-0", "Veltrane MIDI:Other",
                                        "a2j:Keystation [20] (capture): Keystation MIDI 1"}));
    EXPECT_EQ(names(ports, alone.destinations), (std::vector<std::string>{"Keystation:Keystation MIDI 1", "synth:midi_in"}));

    const auto besideTheSequencer = chooseMIDIPorts(ports, true);
    EXPECT_EQ(names(ports, besideTheSequencer.sources),
              (std::vector<std::string>{"Keystation:Keystation MIDI 1", "Midi Through:Midi Through Port-0", "Veltrane MIDI:Other"}));
}

TEST(MIDIPortChoice, KnowsAVeltranePortByItsClientAndPortName)
{
    const std::pair<const char*, bool> cases[] = {
        {"Veltrane MIDI:Veltrane Input", true},   {"Veltrane MIDI-02:Veltrane Output", true},
        {"Veltrane MIDI:Veltrane Inputs", false}, {"Other:Veltrane Input", false},
        {"Veltrane MIDI", false},                 {"", false},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(isVeltranePort(name), expected) << name;
}

} // namespace
} // namespace veltrane
