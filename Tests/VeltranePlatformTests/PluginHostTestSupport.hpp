#pragma once

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrane::testing {

inline constexpr const char* jx10Uri = "http://drobilla.net/plugins/mda/JX10";
inline constexpr const char* delayUri = "http://drobilla.net/plugins/mda/Delay";

/// One host over the installed plug-ins for the whole test program: loading the LV2 world is slow.
inline const PluginHost& installedPlugins()
{
    static const PluginHost host;
    return host;
}

inline bool mdaInstalled()
{
    return installedPlugins().find(jx10Uri) && installedPlugins().find(delayUri);
}

#define VELTRANE_REQUIRE_MDA()                                                                         \
    do {                                                                                               \
        if (!::veltrane::testing::mdaInstalled())                                                      \
            GTEST_SKIP() << "the mda-lv2 plug-ins (mda JX10, mda Delay) are not installed";            \
    } while (false)

/// Two channels of `frames` samples, processed through a plug-in in one call.
struct StereoBuffer {
    explicit StereoBuffer(int frames) : left(std::size_t(frames), 0.0f), right(std::size_t(frames), 0.0f) {}
    float* const* channels() { pointers[0] = left.data(); pointers[1] = right.data(); return pointers; }
    int frames() const { return int(left.size()); }
    std::vector<float> left, right;
    float* pointers[2] = {};
};

inline void process(PluginInstance& plugin, StereoBuffer& in, StereoBuffer& out,
                    std::span<const PluginMidiEvent> events = {})
{
    plugin.process(in.channels(), out.channels(), out.frames(), events);
}

/// Largest absolute sample of both channels in [begin, end).
inline float peak(const StereoBuffer& buffer, int begin, int end)
{
    float result = 0.0f;
    for (int f = begin; f < end; ++f)
        result = std::max({result, std::fabs(buffer.left[std::size_t(f)]), std::fabs(buffer.right[std::size_t(f)])});
    return result;
}

/// First frame at which either channel is not exactly zero, or -1.
inline int firstSoundingFrame(const StereoBuffer& buffer)
{
    for (int f = 0; f < buffer.frames(); ++f)
        if (buffer.left[std::size_t(f)] != 0.0f || buffer.right[std::size_t(f)] != 0.0f)
            return f;
    return -1;
}

inline PluginMidiEvent noteOn(int frame, std::uint8_t note, std::uint8_t velocity = 100)
{
    return {frame, {0x90, note, velocity}};
}

inline PluginMidiEvent noteOff(int frame, std::uint8_t note) { return {frame, {0x80, note, 0}}; }

inline std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

#if defined(VELTRANE_LV2_PROBE_LIBRARY)
/// The tests' own probe plug-in, which reports what its host does to it.
inline constexpr const char* probeUri = "urn:veltrane:test:host-probe";

/// What the probe saw last (all its instances share one report).
struct ProbeReport {
    int libraryLoads;
    int instantiations;
    int floatingPointChanges;
    float freeWheeling, enabled, beatsPerMinute;
    int runs, workCalls, responses, endRuns;
};

/// The probe's report, from its library as the host loaded it; nullptr while it is not loaded.
inline ProbeReport* probeReport()
{
    void* library = dlopen(VELTRANE_LV2_PROBE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    auto* report = reinterpret_cast<ProbeReport* (*)()>(dlsym(library, "veltrane_probe_report"))();
    dlclose(library);
    return report;
}
#endif

} // namespace veltrane::testing

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace veltrane::testing {

/// A private folder holding one LV2 bundle written by a test, removed again at the end of the test.
/// Its plug-ins describe themselves in the test's own Turtle; a host made with `path()` sees only them.
class TemporaryBundle {
public:
    explicit TemporaryBundle(const std::string& manifestTurtle)
    {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::filesystem::path parent = runtime && *runtime && std::filesystem::is_directory(runtime)
                                           ? std::filesystem::path(runtime)
                                           : std::filesystem::temp_directory_path();
        // mkdtemp makes a folder of a fresh name that only we can enter.
        std::string pattern = (parent / "veltrane-lv2-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a private folder for a test bundle");
        root_ = pattern;
        std::filesystem::create_directory(root_ / "test.lv2");
        std::ofstream(root_ / "test.lv2" / "manifest.ttl") << manifestTurtle;
    }
    ~TemporaryBundle()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryBundle(const TemporaryBundle&) = delete;
    TemporaryBundle& operator=(const TemporaryBundle&) = delete;

    /// The folder to give `PluginHost` as its LV2 path.
    std::string path() const { return root_.string(); }

private:
    std::filesystem::path root_;
};

inline const char* turtlePrefixes()
{
    return "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
           "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
           "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n";
}

} // namespace veltrane::testing
