#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"

#include "VeltraneCore/Text/CaseFold.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"

#include <algorithm>
#include <chrono>
#include <future>

namespace veltrane {

namespace {

std::shared_future<std::shared_ptr<const PluginHost>>& installedListing()
{
    static std::shared_future<std::shared_ptr<const PluginHost>> listing =
        std::async(std::launch::async, [] { return std::make_shared<const PluginHost>(); }).share();
    return listing;
}

} // namespace

void AudioUnitCatalog::loadInstalledPluginsInBackground()
{
    installedListing();
}

bool AudioUnitCatalog::installedPluginsLoaded()
{
    return installedListing().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

const PluginHost& AudioUnitCatalog::installedPlugins()
{
    return *installedListing().get();
}

std::uint32_t AudioUnitCatalog::componentType(PluginKind kind) noexcept
{
    switch (kind) {
    case PluginKind::instrument: return audioUnitInstrumentType;
    case PluginKind::midiEffect: return audioUnitMusicEffectType;
    case PluginKind::effect: return audioUnitEffectType;
    }
    return audioUnitEffectType;
}

AudioUnitReference AudioUnitCatalog::reference(const PluginDescription& plugin)
{
    return AudioUnitReference{
        .componentType = componentType(plugin.kind),
        .componentSubType = fnv1a32(plugin.uri),
        .componentManufacturer = fnv1a32(plugin.authority),
        .name = plugin.name,
        .manufacturerName = plugin.author,
    };
}

std::vector<AudioUnitReference> AudioUnitCatalog::components(std::uint32_t type, const PluginHost& host)
{
    std::vector<AudioUnitReference> references;
    for (const PluginDescription& plugin : host.plugins()) {
        if (componentType(plugin.kind) == type) references.push_back(reference(plugin));
    }
    // The host lists by URI, so plug-ins that share both names keep a fixed order.
    std::stable_sort(references.begin(), references.end(), [](const auto& a, const auto& b) {
        if (a.manufacturerName != b.manufacturerName) return CaseFoldedLess{}(a.manufacturerName, b.manufacturerName);
        return CaseFoldedLess{}(a.name, b.name);
    });
    return references;
}

const PluginDescription* AudioUnitCatalog::find(const AudioUnitReference& reference, const PluginHost& host)
{
    for (const PluginDescription& plugin : host.plugins()) {
        if (componentType(plugin.kind) == reference.componentType && fnv1a32(plugin.uri) == reference.componentSubType &&
            fnv1a32(plugin.authority) == reference.componentManufacturer) {
            return &plugin;
        }
    }
    return nullptr;
}

std::unique_ptr<PluginInstance> AudioUnitCatalog::instantiate(const AudioUnitReference& reference,
                                                              const std::optional<Data>& state, double sampleRate,
                                                              int maximumBlockFrames, const PluginHost& host,
                                                              PluginRunMode mode)
{
    const PluginDescription* plugin = find(reference, host);
    if (plugin == nullptr) {
        throw PluginError(PluginError::Case::notFound,
                          "The plug-in \u201C" + reference.name + "\u201D is not installed on this computer.");
    }
    auto unit = host.instantiate(plugin->uri, sampleRate, maximumBlockFrames, mode);
    // A state from another version of the plug-in, or damaged bytes, must not keep the unit from
    // playing: it starts from its defaults instead.
    if (state && !state->empty()) unit->restoreState(state->bytes());
    return unit;
}

std::optional<Data> AudioUnitCatalog::stateData(const PluginInstance& unit)
{
    auto bytes = unit.saveState();
    if (!bytes) return std::nullopt;
    return Data(std::move(*bytes));
}

} // namespace veltrane
