#pragma once

// Hosted plug-ins in an `AudioGraph`: an instrument played by MIDI, and an insert effect. Each owns one
// running `PluginInstance`, made for the graph's sample rate; a block longer than the instance's own
// maximum is run in slices by the instance itself.
//
//     auto synth = std::make_shared<AudioPluginInstrumentNode>(host.instantiate(jx10, 44100, 256));
//     graph.attach(synth); graph.connect(*synth, strip);
//     synth->scheduleMIDI(0, {0x90, 60, 100});
//
// The real-time contract is the instance's: processing never allocates, locks or waits.

#include "VeltranePlatform/Audio/AudioMIDIInstrumentNode.hpp"
#include "VeltranePlatform/Audio/AudioNode.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <memory>

namespace veltrane {

class AudioPluginInstrumentNode : public AudioMIDIInstrumentNode {
public:
    /// Throws std::invalid_argument for a null instance.
    explicit AudioPluginInstrumentNode(std::unique_ptr<PluginInstance> instance);

    PluginInstance& instance() noexcept { return *instance_; }

protected:
    void synthesize(const RenderTime& time, std::span<const PluginMidiEvent> messages,
                    AudioBus& out) noexcept override;

private:
    std::unique_ptr<PluginInstance> instance_;
};

/// An insert: its input through the plug-in, in place. Even a silent input is processed, so echoes
/// and reverb tails ring on after the sound that made them. Bypassed, the input passes unchanged.
class AudioPluginEffectNode : public AudioEffectNode {
public:
    /// Throws std::invalid_argument for a null instance.
    explicit AudioPluginEffectNode(std::unique_ptr<PluginInstance> instance);

    PluginInstance& instance() noexcept { return *instance_; }

protected:
    void process(const RenderTime& time, AudioBus& bus) noexcept override;

private:
    std::unique_ptr<PluginInstance> instance_;
};

} // namespace veltrane
