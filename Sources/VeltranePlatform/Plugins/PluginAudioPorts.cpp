#include "VeltranePlatform/Plugins/PluginAudioPorts.hpp"

#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <optional>

namespace veltrane::detail {

namespace {

std::string nodeString(LilvNode* node)
{
    std::string text = node && lilv_node_as_string(node) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return text;
}

} // namespace

AudioPortRole audioPortRole(const PluginWorld& world, const LilvPlugin* plugin, const LilvPort* port)
{
    AudioPortRole role;
    role.sideChain = lilv_port_has_property(plugin, port, world.isSideChain.get());
    role.group = nodeString(lilv_port_get(plugin, port, world.portGroup.get()));
    if (role.group.empty())
        role.group = nodeString(lilv_port_get(plugin, port, world.portInGroup.get()));
    for (const LilvNode* predicate : {world.designation.get(), world.portRole.get()}) {
        LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
        LILV_FOREACH (nodes, it, values) {
            const LilvNode* value = lilv_nodes_get(values, it);
            if (lilv_node_equals(value, world.leftChannel.get()) || lilv_node_equals(value, world.oldLeftChannel.get()))
                role.channel = AudioPortRole::Channel::left;
            else if (lilv_node_equals(value, world.rightChannel.get())
                     || lilv_node_equals(value, world.oldRightChannel.get()))
                role.channel = AudioPortRole::Channel::right;
            else if (lilv_node_equals(value, world.centerChannel.get())
                     || lilv_node_equals(value, world.oldCenterChannel.get()))
                role.channel = AudioPortRole::Channel::center;
        }
        lilv_nodes_free(values);
        if (role.channel != AudioPortRole::Channel::unknown)
            break;
    }
    return role;
}

std::string mainAudioGroup(const PluginWorld& world, const LilvPlugin* plugin, bool input)
{
    LilvNodes* groups = lilv_plugin_get_value(plugin, input ? world.mainInput.get() : world.mainOutput.get());
    std::string group;
    if (groups && lilv_nodes_size(groups) > 0)
        group = lilv_node_as_string(lilv_nodes_get_first(groups)) ? lilv_node_as_string(lilv_nodes_get_first(groups)) : "";
    lilv_nodes_free(groups);
    return group;
}

std::vector<std::size_t> mainAudioPorts(const std::vector<AudioPortRole>& ports, const std::string& mainGroup)
{
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (!ports[i].sideChain && (mainGroup.empty() || ports[i].group == mainGroup))
            candidates.push_back(i);
    // A main group none of whose ports we can see (a description that names it wrongly) is no help.
    if (candidates.empty() && !mainGroup.empty())
        return mainAudioPorts(ports, {});

    std::optional<std::size_t> left, right, center;
    for (const std::size_t i : candidates) {
        if (ports[i].channel == AudioPortRole::Channel::left && !left)
            left = i;
        else if (ports[i].channel == AudioPortRole::Channel::right && !right)
            right = i;
        else if (ports[i].channel == AudioPortRole::Channel::center && !center)
            center = i;
    }
    if (left && right)
        return {*left, *right};
    if (center)
        return {*center};
    if (left || right)
        return {left ? *left : *right};
    if (candidates.size() >= 2)
        return {candidates[0], candidates[1]};
    return candidates;
}

} // namespace veltrane::detail
