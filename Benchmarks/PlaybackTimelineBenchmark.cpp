// The timeline is rebuilt at every press of play, so building it for a large song must stay far below
// anything a musician would notice. The song here: 64 blocks over 16 distinct patterns of 256 rows by
// 32 tracks, every cell a note with an instrument, a volume and two effects, and a parameter lock on
// three parameter locks on
// every fourth row (524,288 notes, about 33 minutes of music at 124 bpm).

#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
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
                if (row % 4 == 0) {
                    cell.locks = {{ParameterTarget::trackCutoff, 400.0 + row * 10},
                                  {ParameterTarget::trackVolume, (row % 64) / 64.0},
                                  {ParameterTarget::masterDelay, (row % 16) / 16.0}};
                }
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

// The bus update of one playback frame: every track parameter of 32 tracks and every master parameter,
// 169 look-ups, on lanes of 4,096 points each (131,072 lock events). At 48 kHz a frame lasts 20.8 µs.
void BM_AutomationBusUpdatePerFrame(benchmark::State& state)
{
    const auto timeline = playbackTimeline(denseSong(), SongScope{}, 0, 0, 48000, false);
    const AutomationEvaluator lanes(timeline);
    const std::int64_t step = 48000 / 100 + 7; // walk through the song in uneven steps
    std::int64_t frame = 0;
    for (auto _ : state) {
        double sum = 0;
        for (int track = 0; track < 32; ++track) {
            for (auto target : {ParameterTarget::trackVolume, ParameterTarget::trackPan, ParameterTarget::trackCutoff,
                                ParameterTarget::trackResonance, ParameterTarget::trackDrive})
                sum += lanes.value(target, frame, track, defaultValue(target));
        }
        for (int index = indexOf(ParameterTarget::masterVolume); index < parameterTargetCount; ++index) {
            const auto target = static_cast<ParameterTarget>(index);
            sum += lanes.value(target, frame, std::nullopt, defaultValue(target));
        }
        benchmark::DoNotOptimize(sum);
        frame = (frame + step) % timeline.totalFrames;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 169);
}
BENCHMARK(BM_AutomationBusUpdatePerFrame)->Unit(benchmark::kNanosecond);

void BM_BuildAutomationEvaluator(benchmark::State& state)
{
    const auto timeline = playbackTimeline(denseSong(), SongScope{}, 0, 0, 48000, false);
    for (auto _ : state) benchmark::DoNotOptimize(AutomationEvaluator(timeline));
    state.counters["lockEvents"] = static_cast<double>(timeline.locks.size());
}
BENCHMARK(BM_BuildAutomationEvaluator)->Unit(benchmark::kMillisecond);

// The note-start query scans every lock event of the timeline on each call.
void BM_AutomationValueAtNoteStart(benchmark::State& state)
{
    const auto timeline = playbackTimeline(denseSong(), SongScope{}, 0, 0, 48000, false);
    std::int64_t frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(automationValue(ParameterTarget::trackCutoff, frame, 3, 3, 18000, timeline));
        frame = (frame + 48000) % timeline.totalFrames;
    }
}
BENCHMARK(BM_AutomationValueAtNoteStart)->Unit(benchmark::kMicrosecond);

} // namespace
