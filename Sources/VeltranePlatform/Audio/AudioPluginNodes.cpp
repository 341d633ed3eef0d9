#include "VeltranePlatform/Audio/AudioPluginNodes.hpp"

#include <stdexcept>

namespace veltrane {

AudioPluginInstrumentNode::AudioPluginInstrumentNode(std::unique_ptr<PluginInstance> instance)
    : instance_(std::move(instance))
{
    if (!instance_) throw std::invalid_argument("A plug-in node needs a running plug-in.");
}

void AudioPluginInstrumentNode::synthesize(const RenderTime&, std::span<const PluginMidiEvent> messages,
                                           AudioBus& out) noexcept
{
    out.silent = false;
    instance_->process(nullptr, out.channels, out.frames, messages);
}

AudioPluginEffectNode::AudioPluginEffectNode(std::unique_ptr<PluginInstance> instance)
    : instance_(std::move(instance))
{
    if (!instance_) throw std::invalid_argument("A plug-in node needs a running plug-in.");
}

void AudioPluginEffectNode::process(const RenderTime&, AudioBus& bus) noexcept
{
    bus.materialize();
    instance_->process(bus.channels, bus.channels, bus.frames, {});
}

} // namespace veltrane
