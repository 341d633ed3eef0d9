#pragma once

// The installed plug-ins as the project sees them: each LV2 plug-in is an `AudioUnitReference` whose
// type code says its role ("aumu" an instrument, "aumf" another plug-in with a MIDI input, "aufx" an
// effect), whose sub-type is the FNV-1a hash of its URI and whose manufacturer code the hash of the
// URI's host part, so a project names the same plug-in on every machine. A unit's saved state is the
// plug-in's LV2 state as Turtle text.
//
//     auto instruments = AudioUnitCatalog::components(audioUnitInstrumentType);
//     auto unit = AudioUnitCatalog::instantiate(reference, savedState, 44100, 256);
//     std::optional<Data> state = AudioUnitCatalog::stateData(*unit);
//
// Every operation reads the process-wide list of installed plug-ins unless given a host of its own
// (tests pass one over a folder of their own bundles). That list is made once, on first use or in the
// background from `loadInstalledPluginsInBackground`; after that any thread may call in.

#include "VeltraneCore/Models/AudioUnitReference.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace veltrane {

/// Four characters packed big-endian into 32 bits: "aumu" is 0x61756D75.
constexpr std::uint32_t fourCharCode(std::string_view code) noexcept
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | (i < code.size() ? static_cast<std::uint8_t>(code[i]) : 0x20);
    return value;
}

inline constexpr std::uint32_t audioUnitInstrumentType = fourCharCode("aumu");
inline constexpr std::uint32_t audioUnitMusicEffectType = fourCharCode("aumf");
inline constexpr std::uint32_t audioUnitEffectType = fourCharCode("aufx");

class AudioUnitCatalog {
public:
    /// The plug-ins installed on this machine (the LV2 search path), loaded on first use; waits for a
    /// listing still under way.
    static const PluginHost& installedPlugins();
    /// Starts listing the installed plug-ins on a thread of its own, so that a window can come up at
    /// once and ask `installedPluginsLoaded` before it offers them. Does nothing once started.
    static void loadInstalledPluginsInBackground();
    /// Whether the listing is done, so `installedPlugins` returns without waiting. Starts it if need be.
    static bool installedPluginsLoaded();

    /// The component type code of a plug-in kind.
    static std::uint32_t componentType(PluginKind kind) noexcept;

    /// The reference that stands for `plugin`.
    static AudioUnitReference reference(const PluginDescription& plugin);

    /// Every plug-in of the component type `type`, ordered by manufacturer name, then by name, both
    /// compared case-folded (the same on every machine, whatever its language settings). An unknown
    /// type gives an empty list.
    static std::vector<AudioUnitReference> components(std::uint32_t type, const PluginHost& host = installedPlugins());

    /// The installed plug-in the reference's three codes name (its names take no part), or nullptr.
    static const PluginDescription* find(const AudioUnitReference& reference,
                                         const PluginHost& host = installedPlugins());

    /// A running instance of the plug-in the reference names, at `sampleRate` for blocks of at most
    /// `maximumBlockFrames`, with `state` restored when present. A state the plug-in cannot read is
    /// ignored and the plug-in keeps its defaults. Throws `PluginError` when no installed plug-in has
    /// the three codes (`notFound`) or the plug-in cannot be started. The export's units run `offline`.
    static std::unique_ptr<PluginInstance> instantiate(const AudioUnitReference& reference,
                                                       const std::optional<Data>& state, double sampleRate,
                                                       int maximumBlockFrames,
                                                       const PluginHost& host = installedPlugins(),
                                                       PluginRunMode mode = PluginRunMode::live);

    /// The unit's whole state as Turtle text, or nothing when the plug-in could not save it.
    static std::optional<Data> stateData(const PluginInstance& unit);
};

} // namespace veltrane
