// The timeline is rebuilt at every press of play, so building it for a large song must stay far below
// anything a musician would notice. The song here: 64 blocks over 16 distinct patterns of 256 rows by
// 32 tracks, every cell a note with an instrument, a volume and two effects, and a parameter lock on
// every fourth row (524,288 notes, about 33 minutes of music at 124 bpm).

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <benchmark/benchmark.h>

using namespace veltrane;

namespace {

Project denseSong()
{
    Project project;
    project.patterns.clear();
    for (int p = 0; p < 16; ++p) {
        Pattern pattern("Pattern " + std::to_string(p + 1), 256, 32);
        for (int row = 0; row < pattern.rows; ++row) {
            auto cells = pattern.cells.mutableRow(row);
            for (int track = 0; track < pattern.channels; ++track) {
                Cell cell{
                    .note = NotePitch{36 + (row + track + p) % 48},
                    .instrument = track % 4,
                    .volume = static_cast<std::uint8_t>(32 + row % 32),
                    .effects = {Effect{EffectType::vibrato, 0x34}, Effect{EffectType::pan, 0x80}},
                };
                if (row % 4 == 0) cell.locks = {{ParameterTarget::trackCutoff, 400.0 + row * 10}};
                cells[static_cast<std::size_t>(track)] = std::move(cell);
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    project.mixer.resize(32);
    project.swing = 0.2;
    project.arrangement = SongArrangement{};
    for (int b = 0; b < 64; ++b) project.arrangement->blocks.push_back(SongBlock{.pattern = b % 16, .repeats = 1});
    project.order.clear();
    for (int b = 0; b < 64; ++b) project.order.push_back(b % 16);
    return project;
}

void BM_TimelineOfDenseSong(benchmark::State& state)
{
    const auto project = denseSong();
    double songSeconds = 0;
    std::size_t notes = 0;
    for (auto _ : state) {
        auto timeline = playbackTimeline(project, SongScope{}, 0, 0, 48000, state.range(0) != 0);
        songSeconds = timeline.duration();
        notes = timeline.notes.size();
        benchmark::DoNotOptimize(timeline);
    }
    state.counters["notes"] = static_cast<double>(notes);
    state.counters["songSeconds"] = songSeconds;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * notes));
}
BENCHMARK(BM_TimelineOfDenseSong)->Arg(0)->Arg(1)->ArgName("cyclic")->Unit(benchmark::kMillisecond);

// The common case at the press of play: one dense pattern, looping.
void BM_TimelineOfOneDensePattern(benchmark::State& state)
{
    const auto project = denseSong();
    for (auto _ : state) benchmark::DoNotOptimize(playbackTimeline(project, PatternScope{3}, 0, 0, 48000, true));
}
BENCHMARK(BM_TimelineOfOneDensePattern)->Unit(benchmark::kMicrosecond);

// The peer for the build: copying the finished timeline allocates and writes the same memory, so the
// ratio of the two shows what the rules themselves cost beyond filling the memory.
void BM_CopyTimelineOfDenseSong(benchmark::State& state)
{
    const auto timeline = playbackTimeline(denseSong(), SongScope{}, 0, 0, 48000, false);
    for (auto _ : state) {
        auto copy = timeline;
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CopyTimelineOfDenseSong)->Unit(benchmark::kMillisecond);

void BM_CompareEqualTimelines(benchmark::State& state)
{
    const auto project = denseSong();
    const auto a = playbackTimeline(project, SongScope{}, 0, 0, 48000, false);
    const auto b = a;
    for (auto _ : state) benchmark::DoNotOptimize(a == b);
}
BENCHMARK(BM_CompareEqualTimelines)->Unit(benchmark::kMillisecond);

} // namespace
