// A hosted instrument and insert effect run on the audio thread once per block: the host's own work
// around the plug-in (control hand-over, MIDI sequence, channel mapping, slicing) must stay small
// next to the plug-in's. Reported as real-time factor: seconds of audio rendered per second of CPU.
//
// Listing every installed plug-in (what the application does once, in the background, at start) must
// take well under a second even with every LV2 package installed; this lists the machine's own
// plug-ins (LV2_PATH, else the system's folders), with the packages install-deps installs at least.

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <benchmark/benchmark.h>

#include <vector>

using namespace veltrane;

namespace {

constexpr double sampleRate = 44100.0;

const PluginHost& host()
{
    static const PluginHost installed;
    return installed;
}

void renderBlocks(benchmark::State& state, const char* uri, bool instrument)
{
    if (!host().find(uri)) {
        state.SkipWithError("the mda-lv2 plug-ins are not installed");
        return;
    }
    const int frames = int(state.range(0));
    auto plugin = host().instantiate(uri, sampleRate, 256);
    std::vector<float> left(std::size_t(frames), 0.25f), right(std::size_t(frames), -0.25f);
    float* channels[2] = {left.data(), right.data()};
    std::vector<PluginMidiEvent> chord;
    for (std::uint8_t note : {48, 52, 55, 60, 64, 67, 72, 76})
        chord.push_back({0, {0x90, note, 100}});
    if (instrument)
        plugin->process(nullptr, channels, frames, chord);

    for (auto _ : state) {
        plugin->process(channels, channels, frames, {});
        benchmark::ClobberMemory();
    }
    state.counters["timesRealTime"] =
        benchmark::Counter(double(frames) / sampleRate * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ListInstalledPlugins(benchmark::State& state)
{
    std::size_t count = 0;
    for (auto _ : state) {
        const PluginHost installed;
        count = installed.plugins().size();
        benchmark::DoNotOptimize(count);
    }
    state.counters["plugins"] = double(count);
}

void BM_Jx10EightVoiceChord(benchmark::State& state) { renderBlocks(state, "http://drobilla.net/plugins/mda/JX10", true); }
void BM_DelayInsert(benchmark::State& state) { renderBlocks(state, "http://drobilla.net/plugins/mda/Delay", false); }

// 64 frames is a short device period; 1024 is four slices of the 256-frame maximum.
BENCHMARK(BM_ListInstalledPlugins)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Jx10EightVoiceChord)->Arg(64)->Arg(256)->Arg(1024);
BENCHMARK(BM_DelayInsert)->Arg(64)->Arg(256)->Arg(1024);

} // namespace
