#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct LilvPluginImpl;
struct LilvPortImpl;

namespace veltrane::detail {

struct PluginWorld;

/// Where an audio port belongs, as far as the stereo mapping cares.
struct AudioPortRole {
    enum class Channel { unknown, left, right, center };
    /// The port group's URI or blank node name; empty when the port is in none.
    std::string group;
    Channel channel = Channel::unknown;
    /// A side-chain input: a control signal (a compressor's key), never the signal to process.
    bool sideChain = false;
};

AudioPortRole audioPortRole(const PluginWorld& world, const LilvPluginImpl* plugin, const LilvPortImpl* port);

/// The plug-in's main input or output group; empty when it names none.
std::string mainAudioGroup(const PluginWorld& world, const LilvPluginImpl* plugin, bool input);

/// Positions in `ports` (audio ports of one direction, in port order) of the ports that carry our two
/// channels: left and right, or one port that carries both (a mono plug-in), or none. Side-chain ports
/// never do. Within the main group when the plug-in names one, its left and right (or its centre)
/// channels; without channel names, or without a main group, the first ports in port order.
std::vector<std::size_t> mainAudioPorts(const std::vector<AudioPortRole>& ports, const std::string& mainGroup);

} // namespace veltrane::detail
