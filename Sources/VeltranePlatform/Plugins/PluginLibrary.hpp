#pragma once

#include <string>

struct LilvPluginImpl;

namespace veltrane::detail {

/// Loads the shared library of `plugin` for the rest of the process: nothing ever unloads it, so code
/// that registers itself at load (toolkits, static objects) runs once. Empty when it is loaded, else the
/// system loader's reason (a missing file, a missing symbol).
std::string loadPluginLibrary(const LilvPluginImpl* plugin);

/// Why the plug-in of a library that loaded did not start: the library lacks the LV2 entry point or
/// this plug-in, or the plug-in's own code refused.
std::string whyPluginDidNotStart(const LilvPluginImpl* plugin);

} // namespace veltrane::detail
