#pragma once

// What the plug-in's own interface needs of a running instance: the instance itself (for interfaces that
// reach into it directly), its extension data, and the port number behind each parameter. Internal to
// the plug-in layer.

#include <lv2/core/lv2.h>

#include <cstddef>
#include <cstdint>
#include <memory>

struct LilvPluginImpl;

namespace veltrane {

class PluginInstance;

namespace detail {

struct PluginWorld;

struct PluginInstanceAccess {
    static const LilvPluginImpl* plugin(const PluginInstance& unit) noexcept;
    static std::shared_ptr<PluginWorld> world(const PluginInstance& unit) noexcept;
    static LV2_Handle handle(const PluginInstance& unit) noexcept;
    /// The plug-in's `extension_data` entry, handed to interfaces that ask for data access.
    using ExtensionData = const void* (*)(const char* uri);
    static ExtensionData extensionData(const PluginInstance& unit) noexcept;
    /// The port number of the parameter at `index` (in range).
    static std::uint32_t parameterPort(const PluginInstance& unit, std::size_t index) noexcept;
};

} // namespace detail
} // namespace veltrane
