// The live engine against the clock it plays to.
//
//   - BM_EngineBlock: one 256-frame block of the graph with 32 busy strips (every strip's filter and
//     drive working) and the whole master chain, as the device thread renders it. `timesRealTime` is the
//     block's 5.8 ms at 44.1 kHz against its cost; the goal is above 20 (a twentieth of the budget).
//   - BM_ScheduleFirstCycles: how long `schedule` keeps the transport waiting for a 64-row, 16-track
//     pattern with a note in every cell, rendering and queuing what the first moments need. The goal is
//     below 50 ms, so the first note sounds at the engine's own 0.05-second lead.
//   - BM_PlayFiveMinuteSongLoop: a five-minute song of 16 tracks played through, pumped as the model's
//     timer pumps it. `peakRenderedMB` is the most heap the playback held beyond the idle engine;
//     `allFirstMB` is the audio that rendering every distinct note of the song first would hold, the
//     peer the lazy rendering is measured against.

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <malloc.h>
#include <unordered_set>

using namespace veltrane;

namespace {

constexpr double kRate = 44100;
constexpr int kBlock = 256;

AudioEngine::Options manualEngine()
{
    return AudioEngine::Options{.device = std::nullopt, .sampleRate = kRate, .maximumFrames = kBlock};
}

Project songProject(int tracks, int patterns, int blocks)
{
    Project project;
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.patterns.clear();
    for (int p = 0; p < patterns; ++p) {
        Pattern pattern("Pattern " + std::to_string(p + 1), 64, tracks);
        for (int row = 0; row < 64; ++row) {
            for (int track = 0; track < tracks; ++track) {
                Cell cell{.note = NotePitch{36 + (row * 7 + track * 5 + p * 3) % 48}, .instrument = track % 4,
                          .volume = static_cast<std::uint8_t>(40 + (row + track) % 24)};
                cell.gate = 1.5;
                pattern.setCell(row, track, cell);
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    project.arrangement = SongArrangement{};
    for (int block = 0; block < blocks; ++block) project.arrangement->blocks.push_back(SongBlock{.pattern = block % patterns});
    project.order.clear();
    for (const auto& block : project.arrangement->blocks) project.order.push_back(block.pattern);
    project.mixer.assign(static_cast<std::size_t>(tracks), MixerTrack{.volume = 0.3, .cutoff = 6000, .drive = 0.2});
    project.masterFX = MasterFX{.cutoff = 9000, .drive = 0.2, .delayMix = 0.25, .reverbMix = 0.3, .bitDepth = 12};
    return project;
}

// Heap in use now, in megabytes: what the process holds, not what the allocator keeps for reuse.
double heapInUseMegabytes()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

void BM_EngineBlock(benchmark::State& state)
{
    AudioEngine engine(manualEngine());
    const Project project = songProject(32, 1, 1);
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, true);
    engine.schedule(timeline, project, true, true, 0);
    AudioBuffer block(kBlock, kRate);
    // Past the start lead and the first notes' attacks, so every strip sounds.
    for (int i = 0; i < 40; ++i) {
        engine.renderManually(block, kBlock);
        engine.drainCompletions();
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        engine.renderManually(block, kBlock);
        const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        engine.drainCompletions(); // the main thread's share, not the audio thread's
    }
    const double budget = kBlock / kRate;
    state.counters["timesRealTime"] = budget * static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(BM_EngineBlock)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void BM_ScheduleFirstCycles(benchmark::State& state)
{
    AudioEngine engine(manualEngine());
    const Project project = songProject(16, 1, 1);
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.schedule(timeline, project, true, true, 0));
    }
    state.counters["notes"] = static_cast<double>(timeline.notes.size());
}
BENCHMARK(BM_ScheduleFirstCycles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlayFiveMinuteSongLoop(benchmark::State& state)
{
    // 38 passes of eight distinct 8-second patterns: 5 minutes 4 seconds.
    const Project project = songProject(16, 8, 38);
    const auto timeline = playbackTimeline(project, SongLoopScope{}, 0, 0, kRate, true);

    // The peer: every distinct note of the song rendered before the first block.
    double allFirstBytes = 0;
    {
        const auto list = makeScheduledSounds(timeline, project, SampleStore{}, kRate);
        std::unordered_set<ScheduledBufferKey> seen;
        for (const auto& sound : list.sounds) {
            const auto key = bufferKey(sound);
            if (key && !seen.insert(*key).second) continue;
            const auto buffer = renderScheduledSound(sound, project, kRate);
            if (buffer) allFirstBytes += static_cast<double>(buffer->frameCapacity()) * 2 * sizeof(float);
        }
    }

    double peakGrowth = 0;
    for (auto _ : state) {
        AudioEngine engine(manualEngine());
        const double baseline = heapInUseMegabytes();
        engine.schedule(timeline, project, true, false, 0);
        AudioBuffer block(kBlock, kRate);
        const std::int64_t blocks = timeline.totalFrames / kBlock + 1;
        for (std::int64_t i = 0; i < blocks; ++i) {
            engine.renderManually(block, kBlock);
            engine.drainCompletions();
            if (i % 172 == 0) peakGrowth = std::max(peakGrowth, heapInUseMegabytes() - baseline); // every second
        }
        engine.stop();
    }
    state.counters["songSeconds"] = static_cast<double>(timeline.totalFrames) / kRate;
    state.counters["peakRenderedMB"] = peakGrowth;
    state.counters["allFirstMB"] = allFirstBytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_PlayFiveMinuteSongLoop)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace
