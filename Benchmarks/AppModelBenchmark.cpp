// One edit of a large project through the model's edit transaction: its time and the memory each undo
// step keeps (the document is copy-on-write, so a step costs what the edit changed), and the time the
// main thread spends handing an autosave to its writer (the encoding runs on the writer's thread).
//
// The project: 64 patterns of 256 rows by 32 tracks with every cell full, and 50 MB of embedded sample.
// The engine is left out (a control that does nothing), so the figures are the model's own.

#include "LargeProject.hpp"
#include "SilentEngine.hpp"

#include "Veltrane/Model/AppModel.hpp"

#include <QCoreApplication>
#include <QSettings>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

using namespace veltrane;
using veltrane::benchmarks::SilentEngine;
using veltrane::benchmarks::largeProject;

namespace {

std::size_t heapBytesInUse() { return mallinfo2().uordblks; }

/// Runs the latest delayed task when told to, as the event loop would once its delay has passed.
class ManualScheduler final : public TaskScheduler {
public:
    struct Task final : ScheduledTask {
        std::function<void()> work;
        void cancel() override { work = nullptr; }
        bool isCancelled() const override { return !work; }
    };
    std::shared_ptr<ScheduledTask> after(std::chrono::milliseconds, std::function<void()> work) override
    {
        last = std::make_shared<Task>();
        last->work = std::move(work);
        return last;
    }
    void runLast()
    {
        if (last && last->work) {
            auto work = std::move(last->work);
            last->work = nullptr;
            work();
        }
    }
    std::shared_ptr<Task> last;
};

class SaveTo final : public DocumentDialogs {
public:
    explicit SaveTo(std::filesystem::path path) : path_(std::move(path)) {}
    std::optional<std::filesystem::path> chooseSaveLocation(const std::string&) override { return path_; }
    std::optional<std::filesystem::path> chooseProjectToOpen() override { return std::nullopt; }
    UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert&) override { return UnsavedChangesChoice::cancel; }

private:
    std::filesystem::path path_;
};

struct LargeModel {
    LargeModel()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrane-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        scheduler = std::make_shared<ManualScheduler>();
        AppModelServices services;
        services.audio = std::make_unique<SilentEngine>();
        services.scheduler = scheduler;
        services.dialogs = std::make_shared<SaveTo>(folder / "Large.veltrane");
        services.settings = std::make_shared<QSettings>(QString::fromStdString((folder / "settings.ini").string()),
                                                        QSettings::IniFormat);
        services.audioUnitComponents = [](std::uint32_t) { return std::vector<AudioUnitReference>{}; };
        model = std::make_unique<AppModel>(false, folder / "Autosave.veltrane", std::move(services));

        Project project = largeProject();
        std::vector<std::uint8_t> sample(50'000'000);
        for (std::size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
        project.instruments.push_back(Instrument::withData("Large", Data(std::move(sample)), "large.wav"));
        model->setProject(std::move(project));
        // Saved, so that every edit is compared with a copy that shares all it did not change.
        model->save();
    }
    ~LargeModel()
    {
        model->waitForAutosaveWrite();
        model.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    /// One edit of one cell, somewhere else each time.
    void edit(int step)
    {
        model->mutate([step](Project& project) {
            auto& cell = project.patterns[static_cast<std::size_t>(step % 64)].cells.mutableCell(step % 256, step % 32);
            cell.volume = static_cast<std::uint8_t>(step % 65);
        });
    }

    std::filesystem::path folder;
    std::shared_ptr<ManualScheduler> scheduler;
    std::unique_ptr<AppModel> model;
};

void BM_MutateOneCellOfLargeProject(benchmark::State& state)
{
    LargeModel large;
    int step = 0;
    for (int i = 0; i < 100; ++i) large.edit(step++); // a full undo stack: each edit also drops the oldest
    for (auto _ : state) large.edit(step++);

    // The memory the hundred steps keep, per step.
    LargeModel fresh;
    const std::size_t before = heapBytesInUse();
    for (int i = 0; i < 100; ++i) fresh.edit(i);
    const std::size_t after = heapBytesInUse();
    state.counters["undoStepKB"] = static_cast<double>(after - before) / 100 / 1024;
    state.counters["undoSteps"] = static_cast<double>(fresh.model->undoStack().size());
}
BENCHMARK(BM_MutateOneCellOfLargeProject)->Unit(benchmark::kMicrosecond);

void BM_AutosaveMainThreadShare(benchmark::State& state)
{
    LargeModel large;
    int step = 0;
    double workerSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        large.edit(step++);
        state.ResumeTiming();
        large.scheduler->runLast(); // the delay has passed: the main thread hands the copy over
        state.PauseTiming();
        const auto start = std::chrono::steady_clock::now();
        large.model->waitForAutosaveWrite();
        workerSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.ResumeTiming();
    }
    state.counters["writerMsPerSnapshot"] = workerSeconds * 1000 / static_cast<double>(state.iterations());
    state.counters["snapshotMB"] =
        static_cast<double>(std::filesystem::file_size(large.folder / "Autosave.veltrane")) / 1e6;
}
BENCHMARK(BM_AutosaveMainThreadShare)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
