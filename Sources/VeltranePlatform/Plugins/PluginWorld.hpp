#pragma once

#include "VeltranePlatform/Plugins/UridMap.hpp"

#include <lilv/lilv.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace veltrane::detail {

struct LilvNodeDeleter {
    void operator()(LilvNode* node) const noexcept { lilv_node_free(node); }
};
using LilvNodePtr = std::unique_ptr<LilvNode, LilvNodeDeleter>;

/// The lilv world shared by a `PluginHost` and every instance made from it, so an instance may outlive
/// the host object that made it. Internal to the plug-in layer.
struct PluginWorld {
    /// Loads every bundle on `lv2Path` (colon-separated folders), or on LV2_PATH / the system default.
    explicit PluginWorld(const std::optional<std::string>& lv2Path);
    ~PluginWorld();
    PluginWorld(const PluginWorld&) = delete;
    PluginWorld& operator=(const PluginWorld&) = delete;

    LilvNodePtr uri(const char* text) const { return LilvNodePtr(lilv_new_uri(world, text)); }

    LilvWorld* world = nullptr;
    /// lilv's world, its plug-in libraries and its Turtle parsing are not thread-safe: every use of
    /// `world` (instantiating, freeing an instance, saving or restoring state) holds this mutex.
    std::mutex mutex;
    UridMap urids;

    // Nodes used while listing and connecting plug-ins; made once, read-only afterwards.
    LilvNodePtr audioPort, controlPort, cvPort, atomPort, inputPort, outputPort;
    LilvNodePtr atomSupports, midiEvent, instrumentPlugin, rdfType;
    LilvNodePtr connectionOptional, minimumSize, sampleRateProperty;
    LilvNodePtr loadDefaultState;
    // Which audio ports carry the main signal, and the control ports the host sets itself.
    LilvNodePtr isSideChain, designation, portGroup, portInGroup, portRole, mainInput, mainOutput;
    LilvNodePtr leftChannel, rightChannel, centerChannel, oldLeftChannel, oldRightChannel, oldCenterChannel;
    LilvNodePtr freeWheeling, enabled, beatsPerMinute;
};

} // namespace veltrane::detail
