#include "VeltranePlatform/Plugins/PluginLibrary.hpp"

#include "VeltranePlatform/Plugins/HeadlessToolkit.hpp"

#include <lilv/lilv.h>
#include <lv2/core/lv2.h>

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace veltrane::detail {

namespace {

struct LoadedLibraries {
    std::mutex mutex;
    std::unordered_map<std::string, void*> handles;
};

LoadedLibraries& loadedLibraries()
{
    // Never destroyed: the libraries it keeps loaded outlive every static object.
    static auto* libraries = new LoadedLibraries;
    return *libraries;
}

std::string libraryPath(const LilvPlugin* plugin) { return localFilePath(lilv_plugin_get_library_uri(plugin)); }

void* libraryHandle(const std::string& path, std::string& error)
{
    LoadedLibraries& libraries = loadedLibraries();
    std::lock_guard lock(libraries.mutex);
    if (const auto found = libraries.handles.find(path); found != libraries.handles.end())
        return found->second;
    chooseDisplayLessToolkitWithoutDisplay();
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE);
    if (!handle) {
        const char* reason = dlerror();
        error = reason ? reason : "The library " + path + " could not be loaded.";
        return nullptr;
    }
    libraries.handles.emplace(path, handle);
    return handle;
}

} // namespace

std::string localFilePath(const LilvNode* uri)
{
    if (!uri || !lilv_node_is_uri(uri))
        return {};
    char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
    std::string result = path ? path : "";
    lilv_free(path);
    return result;
}

std::string loadPluginLibrary(const LilvPlugin* plugin)
{
    const std::string path = libraryPath(plugin);
    if (path.empty())
        return "The plug-in names no library file.";
    std::string error;
    libraryHandle(path, error);
    return error;
}

void* loadSharedLibrary(const std::string& path, std::string& error) { return libraryHandle(path, error); }

std::string whyPluginDidNotStart(const LilvPlugin* plugin)
{
    const std::string path = libraryPath(plugin);
    std::string error;
    void* handle = libraryHandle(path, error);
    if (!handle)
        return error;
    dlerror();
    const auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(handle, "lv2_descriptor"));
    if (!entry) {
        const char* reason = dlerror();
        return reason ? reason : path + " has no lv2_descriptor.";
    }
    const char* uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
    for (std::uint32_t index = 0;; ++index) {
        const LV2_Descriptor* descriptor = entry(index);
        if (!descriptor)
            return path + " does not contain the plug-in " + uri + ".";
        if (descriptor->URI && std::strcmp(descriptor->URI, uri) == 0)
            return "The plug-in's own code refused to start.";
    }
}

} // namespace veltrane::detail
