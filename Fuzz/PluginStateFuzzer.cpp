// Restores arbitrary text as the saved LV2 state of a plug-in, as opening a project does with the
// state stored for each Audio Unit slot. The first byte picks the plug-in (mda JX10, an instrument, or
// mda Delay, an effect); the rest is the state. A state that is refused must change nothing; one that is
// taken must leave a plug-in that renders a block and saves its state again.
//
//     make fuzz
//     LV2_PATH=/usr/lib/lv2 build-fuzz/Fuzz/PluginStateFuzzer \
//         -dict=Tests/Fixtures/Fuzz/PluginState/state.dict -max_total_time=240 \
//         Fuzz/corpus-plugin-state Tests/Fixtures/Fuzz/PluginState/corpus
//
// Keep every input it reports in Tests/Fixtures/Fuzz/PluginState/regressions/.

#include "VeltranePlatform/Plugins/PluginHost.hpp"
#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace {

constexpr const char* uris[] = {"http://drobilla.net/plugins/mda/JX10", "http://drobilla.net/plugins/mda/Delay"};
constexpr int blockFrames = 64;

struct Plugins {
    veltrane::PluginHost host;
    std::unique_ptr<veltrane::PluginInstance> instances[2];
    std::vector<std::uint8_t> defaults[2];

    Plugins()
    {
        for (int i = 0; i < 2; ++i) {
            instances[i] = host.instantiate(uris[i], 44100, blockFrames);
            defaults[i] = *instances[i]->saveState();
        }
    }
};

Plugins& plugins()
{
    static Plugins loaded;
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plugins(); // loads the LV2 world once, outside the timed runs
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    auto& loaded = plugins();
    const int which = data[0] & 1;
    auto& instance = *loaded.instances[which];
    if (!instance.restoreState(loaded.defaults[which])) std::abort();

    const bool restored = instance.restoreState(std::span(data + 1, size - 1));
    const auto saved = instance.saveState();
    if (!saved) std::abort();
    if (!restored && *saved != loaded.defaults[which]) std::abort(); // a refused state changed the settings

    std::vector<float> left(blockFrames, 0.1f), right(blockFrames, -0.1f);
    float* channels[2] = {left.data(), right.data()};
    const veltrane::PluginMidiEvent note{.frameOffset = 0, .bytes = {0x90, 60, 100}};
    instance.process(channels, channels, blockFrames, std::span(&note, 1));
    for (int parameter = 0; parameter < static_cast<int>(instance.parameters().size()); ++parameter) {
        const float value = instance.parameterValue(static_cast<std::size_t>(parameter));
        const auto& range = instance.parameters()[static_cast<std::size_t>(parameter)];
        if (!(value >= range.minimum && value <= range.maximum)) std::abort();
    }
    return 0;
}
