#pragma once

#include "VeltranePlatform/Plugins/PluginDescription.hpp"

#include <vector>

namespace veltrane::detail {

struct PluginWorld;

/// Every plug-in of the world's bundles that we can host, ordered by URI.
///
/// Fast: it reads no more than a listing needs. lilv has read the bundles' manifests; of each
/// plug-in's own description files only the few statements a listing uses are picked out as the text
/// streams past (its types, name, author and the kinds of its ports), instead of loading every
/// statement into lilv's model. lilv reads a plug-in's full description when it is started.
std::vector<PluginDescription> listHostablePlugins(PluginWorld& world);

} // namespace veltrane::detail
