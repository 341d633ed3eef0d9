#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include "VeltranePlatform/Plugins/FloatingPointGuard.hpp"
#include "VeltranePlatform/Plugins/PluginListing.hpp"
#include "VeltranePlatform/Plugins/PluginWorld.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace veltrane {

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
    const detail::FloatingPointGuard floatingPoint;
    plugins_ = detail::listHostablePlugins(*world_);
}

const PluginDescription* PluginHost::find(std::string_view uri) const noexcept
{
    const auto found = std::lower_bound(plugins_.begin(), plugins_.end(), uri,
                                        [](const PluginDescription& d, std::string_view u) { return d.uri < u; });
    return found != plugins_.end() && found->uri == uri ? &*found : nullptr;
}

std::unique_ptr<PluginInstance> PluginHost::instantiate(std::string_view uri, double sampleRate,
                                                        int maximumBlockFrames, PluginRunMode mode) const
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
    return PluginInstance::create(world_, plugin, *description, sampleRate, maximumBlockFrames, mode);
}

} // namespace veltrane
