// Saving and opening the large project, and reading the same file with Python's json module as the peer
// the decoder's speed is judged against (measured in the same run; MB/s figures are bytes per second of
// the file's text).

#include "LargeProject.hpp"

#include "VeltraneCore/FileFormat/ProjectDocumentParser.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace veltrane;
using veltrane::benchmarks::largeProject;

namespace {

const std::string& largeProjectFile()
{
    static const std::string bytes = encodeProject(largeProject());
    return bytes;
}

double megabytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

/// A folder only this user can enter, removed with its contents when the program ends.
class PrivateFolder {
public:
    PrivateFolder()
    {
        const char* base = std::getenv("XDG_RUNTIME_DIR");
        if (base == nullptr || !std::filesystem::is_directory(base)) base = std::getenv("TMPDIR");
        if (base == nullptr) base = "/tmp";
        std::string pattern = std::string(base) + "/veltrane-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern; // mode 0700
    }
    ~PrivateFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void BM_EncodeLargeProject(benchmark::State& state)
{
    const auto project = largeProject();
    std::size_t size = 0;
    for (auto _ : state) {
        const auto bytes = encodeProject(project);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["fileMB"] = megabytes(size);
}
BENCHMARK(BM_EncodeLargeProject)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_DecodeLargeProject(benchmark::State& state)
{
    const auto& bytes = largeProjectFile();
    for (auto _ : state) {
        auto project = decodeProject(bytes);
        benchmark::DoNotOptimize(project.patterns.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["fileMB"] = megabytes(bytes.size());
}
BENCHMARK(BM_DecodeLargeProject)->Unit(benchmark::kMillisecond)->MinTime(2);

// The text alone read into a project, without the version check and the load check and repair that
// decodeProject adds.
void BM_ReadLargeProjectTextOnly(benchmark::State& state)
{
    const auto& bytes = largeProjectFile();
    for (auto _ : state) {
        auto result = fileformat::readProjectText(bytes);
        benchmark::DoNotOptimize(result.project.patterns.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadLargeProjectTextOnly)->Unit(benchmark::kMillisecond)->MinTime(2);

// python3 -c 'import json,sys; json.load(open(sys.argv[1]))' on the same bytes, timed with the
// process start (a few tens of milliseconds against seconds of parsing), next to one decode of ours.
void BM_PythonJsonLoadOfTheSameFile(benchmark::State& state)
{
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) {
        state.SkipWithError("python3 is not installed");
        return;
    }
    const PrivateFolder folder;
    if (folder.path().empty()) {
        state.SkipWithError("no private temporary folder");
        return;
    }
    const auto& bytes = largeProjectFile();
    const auto file = folder.path() / "large.veltrane";
    std::ofstream(file, std::ios::binary) << bytes;
    const std::string command = "python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" + file.string() + "'";

    double pythonSeconds = 0;
    double ourSeconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("python3 failed to read the file");
            return;
        }
        const auto middle = std::chrono::steady_clock::now();
        auto project = decodeProject(bytes);
        benchmark::DoNotOptimize(project.patterns.data());
        const auto end = std::chrono::steady_clock::now();
        const double python = std::chrono::duration<double>(middle - start).count();
        pythonSeconds += python;
        ourSeconds += std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(python);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["pythonMBps"] = megabytes(bytes.size()) * iterations / pythonSeconds;
    state.counters["veltraneMBps"] = megabytes(bytes.size()) * iterations / ourSeconds;
    state.counters["veltraneToPython"] = pythonSeconds / ourSeconds;
}
BENCHMARK(BM_PythonJsonLoadOfTheSameFile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
