// Every note of a song is prepared before it sounds: the project's instrument with the note's locks, its
// automation lanes read at the note's start, then its modulation routes. The song here has 16 tracks and
// a lock on every cell, the case where the lanes are densest; the argument is the number of notes, so the
// growth from 8k to 32k notes shows whether preparation stays linear in the song.

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <fstream>
#include <string>

using namespace veltrane;

namespace {

constexpr int kTracks = 16;
constexpr int kPatternRows = 64;

/// A song of `notes` notes on 16 tracks, every cell a note with a lock on its cutoff and resonance, and a
/// rack with an LFO on the cutoff of every instrument.
Project lockedSong(int notes)
{
    Project project;
    project.bpm = 140;
    project.patterns.clear();
    const int rows = notes / kTracks;
    const int patternCount = (rows + kPatternRows - 1) / kPatternRows;
    const int instrumentCount = static_cast<int>(project.instruments.size());
    for (int p = 0; p < patternCount; ++p) {
        Pattern pattern("Pattern " + std::to_string(p + 1), kPatternRows, kTracks);
        for (int row = 0; row < kPatternRows; ++row) {
            auto cells = pattern.cells.mutableRow(row);
            for (int track = 0; track < kTracks; ++track) {
                cells[static_cast<std::size_t>(track)] = Cell{
                    .note = NotePitch{36 + (row * 7 + track) % 48},
                    .instrument = track % instrumentCount,
                    .locks = {{ParameterTarget::instrumentCutoff, 300.0 + 40.0 * ((row + p) % 64)},
                              {ParameterTarget::instrumentResonance, 0.5 + 0.05 * (row % 16)}},
                };
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    project.mixer.resize(kTracks);
    project.arrangement = SongArrangement{};
    project.order.clear();
    for (int p = 0; p < patternCount; ++p) {
        project.arrangement->blocks.push_back(SongBlock{.pattern = p, .repeats = 1});
        project.order.push_back(p);
    }
    ModulationSource lfo{.name = "LFO", .kind = ModulationSourceKind::lfo, .rateBeats = 4};
    project.modulation = ModulationRack{
        {lfo}, {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.2}}};
    return project;
}

/// The instrument of every note of `timeline` at its start; the sum of their cutoffs.
double prepareNotes(const Project& project, const PlaybackTimeline& timeline)
{
    double sum = 0;
    for (const auto& note : timeline.notes) {
        Instrument locked = project.instruments[static_cast<std::size_t>(note.instrument)];
        for (const auto& lock : note.locks) {
            if (lock.target == ParameterTarget::instrumentCutoff) locked.cutoff = lock.value;
            if (lock.target == ParameterTarget::instrumentResonance) locked.resonance = lock.value;
        }
        const Instrument base = instrumentWithAutomation(locked, note.instrument, note.track, note.startFrame, timeline);
        const Instrument start = instrumentWithModulation(base, note.instrument, note.track, note.startFrame,
                                                          note.startFrame, note.durationFrames, project,
                                                          timeline.sampleRate);
        sum += *start.cutoff;
    }
    return sum;
}

/// The timeline of the whole song and the instrument of every one of its notes, as the export prepares
/// them.
void BM_PrepareEveryNoteOfTheSong(benchmark::State& state)
{
    const auto project = lockedSong(static_cast<int>(state.range(0)));
    std::size_t notes = 0;
    for (auto _ : state) {
        const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, 44100, false);
        notes = timeline.notes.size();
        benchmark::DoNotOptimize(prepareNotes(project, timeline));
    }
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_PrepareEveryNoteOfTheSong)->Arg(8192)->Arg(16384)->Arg(32768)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

/// The first stretch of a looping song as live playback would hold it: its first 256 rows (16 seconds
/// here) and their notes, with the song's length, from the same song.
void BM_PrepareTheFirstWindowOfTheSong(benchmark::State& state)
{
    const auto project = lockedSong(static_cast<int>(state.range(0)));
    std::size_t notes = 0;
    for (auto _ : state) {
        const auto window = playbackTimeline(project, SongScope{}, 0, 0, 44100, true, TimelineWindow{0, 256});
        notes = window.notes.size();
        benchmark::DoNotOptimize(prepareNotes(project, window));
    }
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_PrepareTheFirstWindowOfTheSong)->Arg(8192)->Arg(16384)->Arg(32768)->Unit(benchmark::kMillisecond);

/// The song of 2,500 blocks of 64 passes of a 256-row pattern, a few hundred kilobytes as a file: its
/// length, and a window of its rows from the middle, neither of which may grow with its 41 million rows.
Project endlessSong(int blocks = 2500)
{
    Project project = lockedSong(4096);
    project.arrangement->blocks.assign(static_cast<std::size_t>(blocks), SongBlock{.pattern = 0, .repeats = 64});
    project.order.assign(static_cast<std::size_t>(blocks) * 64, 0);
    return project;
}

/// The endless song with track and master lanes as well: four tracks lock their volume on every row, the
/// first row of every pass locks the master cutoff, and an envelope on track 1's cutoff follows its notes.
Project endlessSongWithBusLanes(int blocks)
{
    Project project = endlessSong(blocks);
    Pattern& pattern = project.patterns[0];
    for (int row = 0; row < pattern.rows; ++row) {
        auto cells = pattern.cells.mutableRow(row);
        for (int track = 0; track < 4; ++track) {
            cells[static_cast<std::size_t>(track)].locks.push_back({ParameterTarget::trackVolume, 0.4 + 0.01 * (row % 32)});
        }
    }
    pattern.cells.mutableRow(0)[0].locks.push_back({ParameterTarget::masterCutoff, 6000});
    ModulationSource envelope{.name = "Envelope", .kind = ModulationSourceKind::envelope, .attack = 0.1};
    project.modulation->routes.push_back(
        ModulationRoute{.sourceID = envelope.id, .target = ParameterTarget::trackCutoff, .amount = -0.3, .track = 1});
    project.modulation->sources.push_back(std::move(envelope));
    return project;
}

void BM_LengthOfAnEndlessSong(benchmark::State& state)
{
    const auto project = endlessSong();
    TimelineLength length;
    for (auto _ : state) {
        length = playbackTimelineLength(project, SongScope{}, 0, 0, 44100);
        benchmark::DoNotOptimize(length);
    }
    state.counters["rows"] = static_cast<double>(length.rows);
    state.counters["seconds"] = length.duration();
}
BENCHMARK(BM_LengthOfAnEndlessSong)->Unit(benchmark::kMillisecond);

void BM_WindowOfAnEndlessSong(benchmark::State& state)
{
    const auto project = endlessSong();
    std::size_t notes = 0;
    for (auto _ : state) {
        const auto window = playbackTimeline(project, SongScope{}, 0, 0, 44100, true, TimelineWindow{state.range(0), 256});
        notes = window.notes.size();
        benchmark::DoNotOptimize(prepareNotes(project, window));
    }
    state.counters["notes"] = static_cast<double>(notes);
}
BENCHMARK(BM_WindowOfAnEndlessSong)->Arg(0)->Arg(500000)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The process's resident memory in megabytes: now, and at its highest since `resetPeakResident`.
double residentMegabytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::stod(line.substr(prefix.size())) / 1024.0;
    }
    return 0;
}

bool resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

/// Pressing Play on the song of 64-repeat blocks (the argument: how many), looping, on an engine without
/// a device pumped as the model's timer pumps it through the first second. `firstSoundMs` is how long
/// `schedule` keeps the transport waiting: it returns once the first notes are rendered and queued, and
/// they sound its fixed start lead later. `peakGrowthMB` is the most resident memory the process held
/// meanwhile beyond what it held before (goal: under 100 MB for 2,500 blocks). The second argument 1
/// hands the engine the whole timeline instead, as playback did before it planned in windows: only for a
/// few blocks, as the whole song would take gigabytes. The third argument 1 plays the song with track and
/// master lanes (`endlessSongWithBusLanes`), whose cost must not grow with the song either.
void BM_PressPlayOnAnEndlessSong(benchmark::State& state)
{
    const int blocks = static_cast<int>(state.range(0));
    const auto project = state.range(2) != 0 ? endlessSongWithBusLanes(blocks) : endlessSong(blocks);
    const bool wholeTimeline = state.range(1) != 0;
    constexpr double rate = 44100;
    constexpr int block = 256;
    double firstSound = 0;
    double peakGrowth = 0;
    for (auto _ : state) {
        AudioEngine engine(AudioEngine::Options{.device = std::nullopt, .sampleRate = rate, .maximumFrames = block});
        if (!resetPeakResident()) state.SkipWithError("the peak resident memory cannot be reset");
        const double before = residentMegabytes("VmRSS");
        const auto start = std::chrono::steady_clock::now();
        if (wholeTimeline) {
            const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, rate, true);
            engine.schedule(timeline, project, true, false, 0);
        } else {
            engine.schedule(project, SongScope{}, 0, 0, true, false, 0);
        }
        firstSound = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        AudioBuffer buffer(block, rate);
        for (int i = 0; i < static_cast<int>(rate) / block; ++i) {
            engine.renderManually(buffer, block);
            engine.drainCompletions();
        }
        peakGrowth = residentMegabytes("VmHWM") - before;
        engine.stop();
    }
    state.counters["firstSoundMs"] = firstSound;
    state.counters["peakGrowthMB"] = peakGrowth;
}
// The whole timeline last: the memory it frees stays with the process and would hide the others' growth.
BENCHMARK(BM_PressPlayOnAnEndlessSong)
    ->ArgNames({"blocks", "whole", "busLanes"})
    ->Args({2500, 0, 0})
    ->Args({10, 0, 0})
    ->Args({10, 0, 1})
    ->Args({2500, 0, 1})
    ->Args({10, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace
