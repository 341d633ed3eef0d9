#pragma once

#include <string>

struct LilvPluginImpl;
struct LilvNodeImpl;

namespace veltrane::detail {

/// Loads the shared library of `plugin` for the rest of the process: nothing ever unloads it, so code
/// that registers itself at load (toolkits, static objects) runs once. Empty when it is loaded, else the
/// system loader's reason (a missing file, a missing symbol).
std::string loadPluginLibrary(const LilvPluginImpl* plugin);

/// The local path a file URI names, or empty for anything else.
std::string localFilePath(const LilvNodeImpl* uri);

/// Loads the shared library at `path` for the rest of the process, like a plug-in's (a plug-in's own
/// interface lives in one too). Its handle, or nullptr with the loader's reason in `error`.
void* loadSharedLibrary(const std::string& path, std::string& error);

/// Why the plug-in of a library that loaded did not start: the library lacks the LV2 entry point or
/// this plug-in, or the plug-in's own code refused.
std::string whyPluginDidNotStart(const LilvPluginImpl* plugin);

} // namespace veltrane::detail
