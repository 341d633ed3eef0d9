// Opening a project reads its modulation rack and repairs it: every route must name a source of the
// rack. A rack of tens of thousands of sources and routes (a generated file, or years of edits) must
// still open at once. The argument is the number of sources; the rack holds as many routes, each to a
// source of its own.

#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <benchmark/benchmark.h>

#include <string>

using namespace veltrane;

namespace {

std::string rackProjectFile(int sources)
{
    Project project;
    ModulationRack rack;
    rack.sources.reserve(static_cast<std::size_t>(sources));
    rack.routes.reserve(static_cast<std::size_t>(sources));
    for (int i = 0; i < sources; ++i) {
        rack.sources.push_back(ModulationSource{.name = "LFO " + std::to_string(i + 1)});
    }
    // Routes name their sources in another order than the rack lists them, as edits leave them.
    for (int i = 0; i < sources; ++i) {
        const auto& source = rack.sources[static_cast<std::size_t>((i * 7919) % sources)];
        rack.routes.push_back(ModulationRoute{.sourceID = source.id,
                                              .target = allParameterTargets[static_cast<std::size_t>(i % parameterTargetCount)],
                                              .amount = 0.25});
    }
    project.modulation = std::move(rack);
    return encodeProject(project);
}

void BM_DecodeProjectWithLargeRack(benchmark::State& state)
{
    const std::string bytes = rackProjectFile(static_cast<int>(state.range(0)));
    std::size_t routes = 0;
    for (auto _ : state) {
        const Project project = decodeProject(bytes);
        routes = project.modulation->routes.size();
        benchmark::DoNotOptimize(routes);
    }
    state.counters["sourcesAndRoutes"] = static_cast<double>(2 * routes);
    state.counters["fileMB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_DecodeProjectWithLargeRack)->Arg(10000)->Arg(20000)->Arg(40000)->Arg(80000)->Unit(benchmark::kMillisecond);

} // namespace
