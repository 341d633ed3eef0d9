// Every built-in note is rendered into its own buffer before it plays: a scheduling pass renders a block
// or a loop cycle of notes ahead. These measure notes rendered per second and, as the ratio that
// matters, seconds of note audio rendered per second of CPU time (`timesRealTime` over 1 means faster than the
// notes last).

#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

using namespace veltrane;

namespace {

constexpr double kRate = 48000;
constexpr double kGate = 0.35; // a note entered at the keyboard; a sixteenth at 43 bpm

Instrument lead(bool fm)
{
    Instrument instrument = Instrument::withWaveform("Lead", Waveform::saw);
    instrument.release = 0.2;
    if (fm) instrument.fm = FMSettings{.amount = 0.5, .carrier = {.ratio = 1}, .modulator = {.ratio = 2}};
    return instrument;
}

void reportRate(benchmark::State& state, double secondsPerNote)
{
    state.SetItemsProcessed(state.iterations());
    state.counters["timesRealTime"] =
        benchmark::Counter(secondsPerNote * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SynthNote(benchmark::State& state)
{
    const auto instrument = lead(state.range(0) != 0);
    EffectParameters effects;
    if (state.range(1) != 0) effects.vibrato = EffectOscillation{5, 40};
    for (auto _ : state) {
        auto buffer = renderedSynth(60, Waveform::saw, kGate, instrument, 0.8, 0.2, effects, std::nullopt, 0, 16, kRate);
        benchmark::DoNotOptimize(buffer->channel(0));
    }
    reportRate(state, kGate + instrument.release);
}
BENCHMARK(BM_SynthNote)->ArgNames({"fm", "vibrato"})->Args({0, 0})->Args({1, 0})->Args({0, 1})->Unit(benchmark::kMicrosecond);

// A note of the export whose cutoff an LFO moves while it sounds (as every note of the dense benchmark
// song's): the voice renders with its filter open and runs the modulated filter in its own loop,
// retuned every 16 frames.
void BM_ModulatedSynthNote(benchmark::State& state)
{
    Instrument instrument = lead(state.range(0) != 0);
    Project project;
    ModulationSource lfo{.name = "Sweep", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::triangle,
                         .rateBeats = 4};
    project.modulation = ModulationRack{
        .sources = {lfo},
        .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.3}},
    };
    constexpr double rate = 44100;
    const ContinuousModulation context{.startFrame = 12345,
                                       .durationFrames = static_cast<std::int64_t>(kGate * rate),
                                       .baseInstrument = instrument,
                                       .startInstrument = instrument,
                                       .sampleRate = rate};
    const Instrument open = withOpenFilter(instrument);
    const SynthNote note{.note = 60, .waveform = Waveform::saw, .gateSeconds = kGate,
                         .lengthSeconds = kGate + instrument.release, .volume = 0.8, .pan = 0.2};
    for (auto _ : state) {
        ContinuousModulator modulator(project, context);
        auto buffer = renderSynthNote(note, open, rate, SynthReleaseStyle::fadeOverTail, &modulator);
        benchmark::DoNotOptimize(buffer->channel(0));
    }
    reportRate(state, kGate + instrument.release);
}
BENCHMARK(BM_ModulatedSynthNote)->ArgName("fm")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SampleNote(benchmark::State& state)
{
    SampleBuffer sample{.sampleRate = 44100, .channels = std::vector<std::vector<float>>(2, std::vector<float>(88200))};
    for (std::size_t i = 0; i < 88200; ++i) {
        sample.channels[0][i] = sample.channels[1][i] = static_cast<float>(std::sin(2 * std::numbers::pi * 220 * i / 44100.0));
    }
    Instrument instrument = Instrument::withBookmark("Pad", Data(std::string_view("veltrane-path:/pad.wav")), "pad.wav");
    instrument.sampleEdit = SampleEdit{.loop = true, .loopStart = 0.25, .loopEnd = 0.75};
    for (auto _ : state) {
        auto buffer = renderedSample(sample, 67, kGate, instrument, 0.8, 0, {}, std::nullopt, 0, 16, kRate);
        benchmark::DoNotOptimize(buffer->channel(0));
    }
    reportRate(state, kGate + instrument.release);
}
BENCHMARK(BM_SampleNote)->Unit(benchmark::kMicrosecond);

// A drum pattern's repeats: one render, then look-ups of the same key.
void BM_CachedRepeat(benchmark::State& state)
{
    const auto instrument = lead(false);
    const auto key = scheduledBufferKey(instrument, 60, static_cast<std::int64_t>(kGate * kRate), 0.8, 0.2);
    RenderedNoteCache cache;
    for (auto _ : state) {
        auto buffer = cache.bufferFor(key, [&] {
            return renderedSynth(60, Waveform::saw, kGate, instrument, 0.8, 0.2, {}, std::nullopt, 0, 16, kRate);
        });
        benchmark::DoNotOptimize(buffer.get());
    }
    reportRate(state, kGate + instrument.release);
}
BENCHMARK(BM_CachedRepeat);

} // namespace
