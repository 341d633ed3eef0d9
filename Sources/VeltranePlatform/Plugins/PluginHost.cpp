#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace veltrane {

namespace {

std::string nodeText(LilvNode* node)
{
    std::string text = node && lilv_node_as_string(node) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return text;
}

struct PortCounts {
    std::uint32_t audioInputs = 0;
    std::uint32_t audioOutputs = 0;
    bool midiInput = false;
};

PortCounts countPorts(const detail::PluginWorld& world, const LilvPlugin* plugin)
{
    PortCounts counts;
    const std::uint32_t portCount = lilv_plugin_get_num_ports(plugin);
    for (std::uint32_t index = 0; index < portCount; ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        const bool input = lilv_port_is_a(plugin, port, world.inputPort.get());
        const bool output = lilv_port_is_a(plugin, port, world.outputPort.get());
        if (lilv_port_is_a(plugin, port, world.audioPort.get())) {
            counts.audioInputs += input ? 1 : 0;
            counts.audioOutputs += output ? 1 : 0;
        } else if (input && lilv_port_is_a(plugin, port, world.atomPort.get())
                   && lilv_port_supports_event(plugin, port, world.midiEvent.get())) {
            counts.midiInput = true;
        }
    }
    return counts;
}

} // namespace

PluginHost::PluginHost() : world_(std::make_shared<detail::PluginWorld>(std::nullopt))
{
    listPlugins();
}

PluginHost::PluginHost(const std::string& lv2Path) : world_(std::make_shared<detail::PluginWorld>(lv2Path))
{
    listPlugins();
}

PluginHost::~PluginHost() = default;

void PluginHost::listPlugins()
{
    std::lock_guard lock(world_->mutex);
    const LilvPlugins* all = lilv_world_get_all_plugins(world_->world);
    LILV_FOREACH (plugins, it, all) {
        const LilvPlugin* plugin = lilv_plugins_get(all, it);
        // A plug-in whose description lacks its name, binary or ports cannot be hosted.
        if (!lilv_plugin_verify(plugin))
            continue;
        const PortCounts ports = countPorts(*world_, plugin);
        const LilvNode* uriNode = lilv_plugin_get_uri(plugin);
        const bool instrument =
            lilv_world_ask(world_->world, uriNode, world_->rdfType.get(), world_->instrumentPlugin.get());
        PluginKind kind;
        if (ports.audioOutputs == 0)
            continue;
        if (instrument)
            kind = PluginKind::instrument;
        else if (ports.midiInput)
            kind = PluginKind::midiEffect;
        else if (ports.audioInputs > 0)
            kind = PluginKind::effect;
        else
            continue;

        PluginDescription description;
        description.uri = lilv_node_as_uri(uriNode);
        description.name = nodeText(lilv_plugin_get_name(plugin));
        description.author = nodeText(lilv_plugin_get_author_name(plugin));
        description.authority = pluginUriAuthority(description.uri);
        description.kind = kind;
        plugins_.push_back(std::move(description));
    }
    std::sort(plugins_.begin(), plugins_.end(),
              [](const PluginDescription& a, const PluginDescription& b) { return a.uri < b.uri; });
}

const PluginDescription* PluginHost::find(std::string_view uri) const noexcept
{
    const auto found = std::lower_bound(plugins_.begin(), plugins_.end(), uri,
                                        [](const PluginDescription& d, std::string_view u) { return d.uri < u; });
    return found != plugins_.end() && found->uri == uri ? &*found : nullptr;
}

std::unique_ptr<PluginInstance> PluginHost::instantiate(std::string_view uri, double sampleRate,
                                                        int maximumBlockFrames) const
{
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate))
        throw std::invalid_argument("A plug-in needs a positive sample rate.");
    if (maximumBlockFrames <= 0)
        throw std::invalid_argument("A plug-in needs a positive maximum block length.");
    const PluginDescription* description = find(uri);
    if (!description)
        throw PluginError(PluginError::Case::notFound,
                          "The plug-in " + std::string(uri) + " is not installed.");
    const LilvPlugin* plugin = nullptr;
    {
        std::lock_guard lock(world_->mutex);
        const detail::LilvNodePtr node = world_->uri(description->uri.c_str());
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_->world), node.get());
    }
    if (!plugin)
        throw PluginError(PluginError::Case::notFound, "The plug-in " + description->uri + " is not installed.");
    return PluginInstance::create(world_, plugin, *description, sampleRate, maximumBlockFrames);
}

} // namespace veltrane
