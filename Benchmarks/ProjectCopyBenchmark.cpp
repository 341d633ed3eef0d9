// Whole-project copies are the undo steps and the hand-overs to the engine: they must be cheap in time
// and cost memory only for what an edit changed.

#include "VeltraneCore/Models/Project.hpp"

#include <benchmark/benchmark.h>
#include <malloc.h>

using namespace veltrane;

namespace {

// 64 patterns of 256 rows by 32 channels, every cell holding a note, an instrument, a volume, two
// effects and one lock.
Project largeProject()
{
    Project project;
    project.patterns.clear();
    for (int p = 0; p < 64; ++p) {
        Pattern pattern("Pattern " + std::to_string(p + 1), 256, 32);
        for (int row = 0; row < pattern.rows; ++row) {
            for (auto& cell : pattern.cells.mutableRow(row)) {
                cell = Cell{
                .note = NotePitch{60},
                .instrument = 1,
                .volume = 48,
                .effects = {Effect{EffectType::vibrato, 0x34}, Effect{EffectType::pan, 0x80}},
                .locks = {{ParameterTarget::instrumentCutoff, 1200}},
                };
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    project.mixer.resize(32);
    return project;
}

std::size_t heapBytesInUse() { return mallinfo2().uordblks; }

void BM_CopyAndCompareLargeProject(benchmark::State& state)
{
    const auto project = largeProject();
    for (auto _ : state) {
        Project copy = project;
        benchmark::DoNotOptimize(copy == project);
    }
}
BENCHMARK(BM_CopyAndCompareLargeProject)->Unit(benchmark::kMicrosecond);

void BM_HundredUndoCopiesWithOneCellEditEach(benchmark::State& state)
{
    for (auto _ : state) {
        const std::size_t before = heapBytesInUse();
        auto project = largeProject();
        const std::size_t oneProject = heapBytesInUse() - before;

        std::vector<Project> undo;
        undo.reserve(100);
        for (int step = 0; step < 100; ++step) {
            undo.push_back(project);
            project.patterns[static_cast<std::size_t>(step % 64)].cells.mutableCell(step, step % 32).volume = 10;
        }
        const std::size_t all = heapBytesInUse() - before;
        state.counters["oneProjectMB"] = static_cast<double>(oneProject) / 1e6;
        state.counters["with100UndoMB"] = static_cast<double>(all) / 1e6;
        state.counters["ratio"] = static_cast<double>(all) / static_cast<double>(oneProject);
    }
}
BENCHMARK(BM_HundredUndoCopiesWithOneCellEditEach)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
