// The export of a full song: a three-minute song of 16 tracks with a note on most rows of every track,
// the ten factory sounds, effect columns, parameter locks, modulation (note-start and continuous, on
// notes and on buses) and the whole master chain working. Reported as times real time (seconds of song
// per second of rendering) on one core, two and all of them, with each render's peak memory.
//
// The render's time goes almost entirely to the note voices (oscillator, envelope and filter per sample
// of every note); `averageVoices` says how many notes sound at once in this song.
//
// For comparison, openmpt123 (a peer module player, installed by scripts/install-deps) renders a
// generated 16-channel module of the same length and density in the same run; without it the comparison
// reports itself skipped.

#include "VeltranePlayback/OfflineRender/OfflineRenderer.hpp"
#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"
#include "VeltraneCore/Presets/InstrumentPreset.hpp"
#include "DenseModule.hpp"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

using namespace veltrane;

namespace {

constexpr int tracks = 16;
constexpr int rowsPerPattern = 64;
constexpr int patternCount = 4;

// A private folder for the rendered file, removed when the benchmark ends.
struct ScratchFolder {
    ScratchFolder()
    {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::filesystem::path parent = runtime && *runtime && std::filesystem::is_directory(runtime)
                                                 ? std::filesystem::path(runtime)
                                                 : std::filesystem::temp_directory_path();
        std::string pattern = (parent / "veltrane-bench-XXXXXX").string();
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// A small deterministic generator, so every run renders the same song.
struct Dice {
    std::uint32_t state = 12345;
    int roll(int sides)
    {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % std::uint32_t(sides));
    }
};

Project denseSong()
{
    Project project;
    project.bpm = 140;
    project.rowsPerBeat = 4;
    project.instruments.clear();
    for (InstrumentPreset preset : allInstrumentPresets) project.instruments.push_back(instrument(preset));
    project.mixer = std::vector<MixerTrack>(tracks);
    for (int t = 0; t < tracks; ++t) {
        project.mixer[std::size_t(t)].pan = (t % 5 - 2) * 0.3;
        if (t % 3 == 0) project.mixer[std::size_t(t)].cutoff = 6000 + 500 * t;
        if (t % 4 == 1) project.mixer[std::size_t(t)].drive = 0.2;
    }
    project.masterFX = MasterFX{.drive = 0.1, .delayMix = 0.2, .delayTime = 0.32, .delayFeedback = 40, .reverbMix = 0.15,
                                .bitDepth = 16.0};

    Dice dice;
    const EffectType effects[] = {EffectType::vibrato, EffectType::arpeggio, EffectType::retrigger, EffectType::delay,
                                  EffectType::chord, EffectType::tremolo, EffectType::slide, EffectType::pan};
    project.patterns.clear();
    for (int p = 0; p < patternCount; ++p) {
        Pattern pattern("Dense " + std::to_string(p + 1), rowsPerPattern, tracks);
        for (int t = 0; t < tracks; ++t) {
            const int instrumentIndex = t % 10;
            for (int row = 0; row < rowsPerPattern; ++row) {
                if (dice.roll(8) == 0) continue; // most rows hold a note
                Cell cell{.note = NotePitch{36 + 12 * (t % 4) + dice.roll(12)},
                          .instrument = instrumentIndex,
                          .volume = std::uint8_t(32 + dice.roll(33))};
                if (dice.roll(4) == 0) {
                    cell.effects[0] = Effect{effects[dice.roll(8)], std::uint8_t(dice.roll(256))};
                }
                if (dice.roll(6) == 0) cell.locks.push_back({ParameterTarget::instrumentCutoff, 400.0 + dice.roll(8000)});
                if (dice.roll(16) == 0) cell.locks.push_back({ParameterTarget::trackVolume, 0.3 + dice.roll(60) / 100.0});
                if (t == 0 && row % 16 == 0) cell.locks.push_back({ParameterTarget::masterCutoff, 2000.0 + dice.roll(16000)});
                pattern.setCell(row, t, std::move(cell));
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    // About three minutes: 27 passes of 64 rows at 140 bpm.
    project.arrangement = SongArrangement{};
    for (int block = 0; block < 27; ++block) project.arrangement->blocks.push_back(SongBlock{.pattern = block % patternCount});
    project.order.clear();
    for (const auto& block : project.arrangement->blocks) project.order.push_back(block.pattern);

    ModulationRack rack;
    ModulationSource lfo{.name = "Sweep", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::triangle,
                         .rateBeats = 4};
    ModulationSource envelope{.name = "Pluck", .kind = ModulationSourceKind::envelope};
    rack.routes.push_back({.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.3});
    rack.routes.push_back({.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = 0.2, .track = 5});
    rack.routes.push_back({.sourceID = lfo.id, .target = ParameterTarget::trackPan, .amount = 0.5, .track = 2});
    rack.routes.push_back({.sourceID = envelope.id, .target = ParameterTarget::trackCutoff, .amount = 0.4, .track = 7});
    rack.routes.push_back({.sourceID = lfo.id, .target = ParameterTarget::masterDelay, .amount = 0.1});
    rack.sources = {lfo, envelope};
    project.modulation = std::move(rack);
    return project;
}

// Renders `project` once in a child process and returns the child's peak memory in megabytes, so that
// each case reports its own peak rather than the largest of every case run before it in this process.
double renderInChild(const Project& project, const std::filesystem::path& to, int threads)
{
    const pid_t child = fork();
    if (child == 0) {
        try {
            OfflineRenderer renderer;
            renderer.threads = threads;
            renderer.render(project, to);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void BM_RenderDenseThreeMinuteSong(benchmark::State& state)
{
    const Project project = denseSong();
    ScratchFolder folder;
    double renderedSeconds = 0;
    double peak = 0;
    for (auto _ : state) {
        const double megabytes = renderInChild(project, folder.path / "dense.wav", int(state.range(0)));
        if (megabytes < 0) {
            state.SkipWithError("the render failed");
            return;
        }
        peak = std::max(peak, megabytes);
        renderedSeconds += double(std::filesystem::file_size(folder.path / "dense.wav")) / (44100.0 * 8);
    }
    // How many notes sound at once on average (gate plus release): the work the note voices do.
    const RenderEventList list = OfflineNoteRendering::events(project);
    double noteSeconds = 0;
    for (const RenderEvent& event : list.events) noteSeconds += event.duration;
    const double songSeconds = renderedSeconds / double(state.iterations());
    state.counters["songSeconds"] = songSeconds;
    state.counters["timesRealTime"] = benchmark::Counter(renderedSeconds, benchmark::Counter::kIsRate);
    state.counters["peakMemoryMB"] = peak;
    state.counters["averageVoices"] = noteSeconds / list.length;
    // Seconds of note audio the render gets through per second: the voices' speed, whatever the song.
    state.counters["voiceSecondsPerSecond"] =
        benchmark::Counter(noteSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
// On one core, on two, and on every core of the machine.
BENCHMARK(BM_RenderDenseThreeMinuteSong)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Arg(int(std::max(1u, std::thread::hardware_concurrency())))
    ->Unit(benchmark::kSecond)
    ->Iterations(3)
    ->UseRealTime();

// openmpt123, a peer module player, rendering a 16-channel module of the same length and density to a
// WAV file, for scale.
void BM_Openmpt123RenderModule(benchmark::State& state)
{
    if (std::system("command -v openmpt123 >/dev/null 2>&1") != 0) {
        state.SkipWithError("openmpt123 is not installed");
        return;
    }
    ScratchFolder folder;
    const std::filesystem::path module = folder.path / "dense.mod";
    if (!benchmarks::writeDenseModule(module)) {
        state.SkipWithError("cannot write the module");
        return;
    }
    // This openmpt123 writes a file in batch mode only: `--render` refuses an output name.
    const std::string command = "openmpt123 --quiet --force --samplerate 44100 --float --batch -o '" +
                                (folder.path / "module.wav").string() + "' '" + module.string() + "' >/dev/null 2>&1";
    double renderedSeconds = 0;
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("openmpt123 could not render the module");
            return;
        }
        renderedSeconds += double(std::filesystem::file_size(folder.path / "module.wav")) / (44100.0 * 8);
    }
    state.counters["songSeconds"] = renderedSeconds / double(state.iterations());
    state.counters["timesRealTime"] = benchmark::Counter(renderedSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Openmpt123RenderModule)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

} // namespace
