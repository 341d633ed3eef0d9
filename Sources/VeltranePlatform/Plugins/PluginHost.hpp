#pragma once

#include "VeltranePlatform/Plugins/PluginDescription.hpp"
#include "VeltranePlatform/Plugins/PluginError.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

namespace detail { struct PluginWorld; }

/// The installed LV2 plug-ins: lists them and starts instances of them.
///
/// Threads: the list is fixed at construction and may be read from any thread; `instantiate` may be
/// called from any thread (it serialises its use of lilv). Instances share the host's lilv world, so
/// they may outlive the host object.
class PluginHost {
public:
    /// Loads every plug-in on the LV2 search path (LV2_PATH when set, else the system's folders).
    PluginHost();
    /// Loads only the bundles found in `lv2Path`, a colon-separated list of folders.
    explicit PluginHost(const std::string& lv2Path);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    /// Every plug-in we can host (instrument, MIDI effect or effect), ordered by URI. Plug-ins that
    /// produce no audio, or an effect without an audio input, are left out.
    const std::vector<PluginDescription>& plugins() const noexcept { return plugins_; }
    /// The plug-in with `uri`, or nullptr.
    const PluginDescription* find(std::string_view uri) const noexcept;

    /// Starts the plug-in with `uri` at `sampleRate`, for blocks of at most `maximumBlockFrames` frames,
    /// activated, with its control inputs at their defaults, to be run as `mode` says.
    /// Throws `PluginError` when the plug-in is not listed, needs a feature or a port we do not support,
    /// or fails to start; std::invalid_argument for a sample rate or block length that is not positive.
    std::unique_ptr<PluginInstance> instantiate(std::string_view uri, double sampleRate, int maximumBlockFrames,
                                                PluginRunMode mode = PluginRunMode::live) const;

private:
    void listPlugins();

    std::shared_ptr<detail::PluginWorld> world_;
    std::vector<PluginDescription> plugins_;
};

} // namespace veltrane
