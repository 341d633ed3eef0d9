// Whole-project copies are the undo steps and the hand-overs to the engine: they must be cheap in time
// and cost memory only for what an edit changed.

#include "LargeProject.hpp"

#include <benchmark/benchmark.h>
#include <malloc.h>

using namespace veltrane;
using veltrane::benchmarks::largeProject;

namespace {

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
