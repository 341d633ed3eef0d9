#pragma once

// What the model's tests run it against: virtual time, a live engine that records what it is asked,
// scripted answers to the prompts, and user defaults in a private folder.

#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Model/DocumentDialogs.hpp"
#include "Veltrane/Model/EngineControl.hpp"
#include "Veltrane/Model/TaskScheduler.hpp"

#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::testing {

/// Reaches the model's private editor state for the checks that need it.
struct AppModelTestAccess {
    static std::string& hexDigits(AppModel& model) { return model.hexDigits_; }
    static std::optional<Project>& liveRecordSnapshot(AppModel& model) { return model.transport_->liveRecordSnapshot_; }
    static std::map<int, RecordedMIDINote>& activeMIDINotes(AppModel& model) { return model.transport_->activeMIDINotes_; }
    static const std::optional<Project>& recoveryProject(AppModel& model) { return model.recoveryProject_; }
    static bool suppressNextMIDITransportSend(AppModel& model) { return model.transport_->suppressNextMIDITransportSend_; }
};

/// Time that moves only when the test says so. Tasks due by the new time run in order of due time,
/// then of scheduling.
class VirtualTaskScheduler final : public TaskScheduler {
public:
    std::shared_ptr<ScheduledTask> after(std::chrono::milliseconds delay, std::function<void()> work) override
    {
        auto task = std::make_shared<Task>();
        task->due = now_ + delay;
        task->sequence = nextSequence_++;
        task->work = std::move(work);
        tasks_.push_back(task);
        return task;
    }

    void advance(std::chrono::milliseconds by)
    {
        const auto target = now_ + by;
        for (;;) {
            std::erase_if(tasks_, [](const auto& task) { return task->cancelled || !task->work; });
            auto next = std::min_element(tasks_.begin(), tasks_.end(), [](const auto& a, const auto& b) {
                return a->due != b->due ? a->due < b->due : a->sequence < b->sequence;
            });
            if (next == tasks_.end() || (*next)->due > target) break;
            auto task = *next;
            tasks_.erase(next);
            now_ = std::max(now_, task->due);
            auto work = std::move(task->work);
            task->work = nullptr;
            work();
        }
        now_ = target;
    }

    /// Tasks neither run nor cancelled.
    std::size_t pendingCount() const
    {
        return static_cast<std::size_t>(std::count_if(tasks_.begin(), tasks_.end(),
                                                      [](const auto& task) { return !task->cancelled && task->work; }));
    }

private:
    struct Task final : ScheduledTask {
        std::chrono::milliseconds due{0};
        std::uint64_t sequence = 0;
        std::function<void()> work;
        bool cancelled = false;
        void cancel() override
        {
            cancelled = true;
            work = nullptr;
        }
        bool isCancelled() const override { return cancelled; }
    };

    std::chrono::milliseconds now_{0};
    std::uint64_t nextSequence_ = 0;
    std::vector<std::shared_ptr<Task>> tasks_;
};

/// A live engine that keeps what it was asked to do.
class RecordingEngine final : public EngineControl {
public:
    struct Trigger {
        Cell cell;
        int track = 0;
        std::vector<Instrument> instruments;
        double duration = 0;
    };

    void start() override
    {
        ++starts;
        if (startFails) throw std::runtime_error("No audio output device is available.");
    }
    void apply(const Project& project) override { applied.push_back(project); }
    void trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments, double duration) override
    {
        triggers.push_back({cell, track, instruments, duration});
    }
    void stop() override { ++stops; }
    void captureAudioUnitState(Project& project) override
    {
        ++captures;
        if (capture) capture(project);
    }
    double outputSampleRate() override { return 48000; }
    void setAudioUnitEffectBypass(const Uuid& id, bool bypassed) override { bypasses.emplace_back(id, bypassed); }
    PluginInstance& instrumentEditorUnit(const Project& project, int index, int track) override
    {
        editorRequests.push_back("instrument " + std::to_string(index) + " " + std::to_string(track));
        if (!editorUnit) throw std::runtime_error("The Audio Unit could not be started.");
        return editorUnit(project);
    }
    PluginInstance& effectEditorUnit(const Project& project, const Uuid& id) override
    {
        editorRequests.push_back("effect " + id.toString());
        if (!editorUnit) throw std::runtime_error("The Audio Unit could not be started.");
        return editorUnit(project);
    }

    struct Schedule {
        PlaybackTimeline timeline;
        Project project;
        bool looping = false;
        bool metronome = false;
        int countInBeats = 0;
    };
    std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project& project, const PlaybackTimeline&) override
    {
        ++preparations;
        return unitFailures;
    }
    std::uint64_t schedule(const PlaybackTimeline& timeline, const Project& project, bool looping, bool metronome,
                           int countInBeats) override
    {
        if (scheduleFailure) throw std::runtime_error(*scheduleFailure);
        schedules.push_back({timeline, project, looping, metronome, countInBeats});
        frame.reset();
        return scheduleStart;
    }
    std::optional<std::int64_t> playingFrame() override { return frame; }
    void updateAutomatedBuses(const Project&, const PlaybackTimeline&, std::int64_t at) override
    {
        busUpdates.push_back(at);
    }
    MeterState meters() override
    {
        ++meterReads;
        return meterLevels;
    }
    void setTransportRate(float rate) override { transportRates.push_back(rate); }
    std::vector<float> peaks(const Instrument& instrument, int count) override
    {
        peakRequests.push_back({instrument.name, count});
        return std::vector<float>(static_cast<std::size_t>(count) * 2, 0.5f);
    }
    std::vector<double> transientSlices(const Instrument&, double sensitivity) override
    {
        sliceSensitivities.push_back(sensitivity);
        return detectedSlices;
    }
    /// Snaps to the next multiple of 1/64, so a snapped position is told apart from one left alone.
    double zeroCrossingPosition(const Instrument&, double position) override
    {
        return std::ceil(position * 64) / 64;
    }
    void recoverAfterConfigurationChange() override
    {
        ++recoveries;
        if (recoveryFailure) throw std::runtime_error(*recoveryFailure);
    }

    std::vector<Project> applied;
    std::vector<Trigger> triggers;
    int starts = 0;
    int stops = 0;
    int captures = 0;
    bool startFails = false;
    std::function<void(Project&)> capture;
    std::vector<std::pair<Uuid, bool>> bypasses;
    /// The unit the editor requests get; without one they fail.
    std::function<PluginInstance&(const Project&)> editorUnit;
    std::vector<std::string> editorRequests;

    // The transport: what was scheduled, and the clock the test moves.
    std::vector<Schedule> schedules;
    int preparations = 0;
    std::vector<AudioUnitLoadFailure> unitFailures;
    std::optional<std::string> scheduleFailure;
    std::uint64_t scheduleStart = 5'000'000'000; // host time of the first frame, ns
    std::optional<std::int64_t> frame;           // the playing frame; none until the test sets one
    std::vector<std::int64_t> busUpdates;
    MeterState meterLevels;
    int meterReads = 0;
    std::vector<float> transportRates;
    int recoveries = 0;
    std::vector<std::pair<std::string, int>> peakRequests;
    std::vector<double> sliceSensitivities;
    std::vector<double> detectedSlices;
    std::optional<std::string> recoveryFailure;
};

/// A MIDI connection the test drives: its events come from the test, what is sent is kept with its
/// time, and its clock is the test's.
class ScriptedMIDI final : public MIDIConnection {
public:
    struct Sent {
        std::vector<std::uint8_t> bytes;
        std::uint64_t time = 0;
        friend bool operator==(const Sent&, const Sent&) = default;
    };
    void send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos) override
    {
        sent.push_back({{bytes.begin(), bytes.end()}, hostTimeNanos});
    }
    void flush() override
    {
        ++flushes;
        sent.push_back({{}, 0}); // marks where the flush fell among the messages
    }
    std::uint64_t hostTime() const override { return now; }

    std::vector<Sent> sent;
    int flushes = 0;
    std::uint64_t now = 4'000'000'000;
};

/// The next scripted answer to a panel; a panel with none queued fails the test and is cancelled.
inline std::optional<std::filesystem::path> nextScriptedPath(std::deque<std::optional<std::filesystem::path>>& answers,
                                                             const char* what)
{
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected " << what;
        return std::nullopt;
    }
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}

/// An audio input recorder whose takes are files the test names.
class ScriptedRecorder final : public SampleRecorder {
public:
    void start() override
    {
        ++starts;
        if (startFailure) throw std::runtime_error(*startFailure);
    }
    std::optional<std::filesystem::path> stop() override
    {
        ++stops;
        return take;
    }
    int starts = 0;
    int stops = 0;
    std::optional<std::string> startFailure;
    std::optional<std::filesystem::path> take;
};

/// Answers the prompts from queues the test fills, and keeps what was asked. A prompt with no answer
/// queued fails the test and is cancelled.
class ScriptedDialogs final : public DocumentDialogs {
public:
    std::optional<std::filesystem::path> chooseSaveLocation(const std::string& suggestedFileName) override
    {
        saveSuggestions.push_back(suggestedFileName);
        return next(saveAnswers, "save panel");
    }
    std::optional<std::filesystem::path> chooseProjectToOpen() override
    {
        ++openPanels;
        return next(openAnswers, "open panel");
    }
    UnsavedChangesChoice askAboutUnsavedChanges(const UnsavedChangesAlert& alert) override
    {
        alerts.push_back(alert);
        if (alertAnswers.empty()) {
            ADD_FAILURE() << "unexpected unsaved-changes alert";
            return UnsavedChangesChoice::cancel;
        }
        const auto answer = alertAnswers.front();
        alertAnswers.pop_front();
        return answer;
    }

    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::deque<std::optional<std::filesystem::path>> openAnswers;
    std::deque<UnsavedChangesChoice> alertAnswers;
    std::vector<std::string> saveSuggestions;
    std::vector<UnsavedChangesAlert> alerts;
    int openPanels = 0;

private:
    static std::optional<std::filesystem::path> next(std::deque<std::optional<std::filesystem::path>>& answers,
                                                     const char* what)
    {
        return nextScriptedPath(answers, what);
    }
};

/// Answers the export and import panels from queues the test fills, and keeps the suggested names. A
/// panel with no answer queued fails the test and is cancelled.
class ScriptedExportDialogs final : public ExportDialogs {
public:
    std::optional<std::filesystem::path> chooseWAVDestination(const std::string& suggestedFileName) override
    {
        suggestions.push_back(suggestedFileName);
        return next("WAV panel");
    }
    std::optional<std::filesystem::path> chooseStemsFolder() override { return next("stems panel"); }
    std::optional<std::filesystem::path> chooseMIDIDestination(const std::string& suggestedFileName) override
    {
        suggestions.push_back(suggestedFileName);
        return next("MIDI panel");
    }
    std::optional<std::filesystem::path> chooseMIDIFileToImport() override { return next("import panel"); }

    std::deque<std::optional<std::filesystem::path>> answers;
    std::vector<std::string> suggestions;
    int panels = 0;

private:
    std::optional<std::filesystem::path> next(const char* what)
    {
        ++panels;
        return nextScriptedPath(answers, what);
    }
};

inline AudioUnitReference testUnit(std::uint32_t type, std::uint32_t subType, std::string name)
{
    return AudioUnitReference{type, subType, 0x6d646120, std::move(name), "mda"};
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return std::move(bytes).str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

/// A model over a private folder, virtual time, a recording engine and scripted prompts.
class ModelHarness {
public:
    ModelHarness()
        : scheduler(std::make_shared<VirtualTaskScheduler>())
        , dialogs(std::make_shared<ScriptedDialogs>())
        , exportDialogs(std::make_shared<ScriptedExportDialogs>())
        , settings(std::make_shared<QSettings>(QString::fromStdString((folder / "settings.ini").string()),
                                               QSettings::IniFormat))
    {
    }

    /// Installed plug-ins the model lists: one instrument, one effect, one music effect.
    std::vector<AudioUnitReference> installed{
        testUnit(0x61756d75, 1, "JX10"), testUnit(0x61756678, 2, "Delay"), testUnit(0x61756d66, 3, "Vocoder")};

    /// Whether `installed` is listed yet; empty: from the start.
    std::function<bool()> componentsLoaded;

    AppModel& make(bool recoverAutosave = false)
    {
        model.reset();
        AppModelServices services;
        auto audio = std::make_unique<RecordingEngine>();
        engine = audio.get();
        services.audio = std::move(audio);
        auto connection = std::make_unique<ScriptedMIDI>();
        midi = connection.get();
        services.midi = std::move(connection);
        auto takes = std::make_unique<ScriptedRecorder>();
        recorder = takes.get();
        services.recorder = std::move(takes);
        services.chooseAudioFile = [this](const std::string& message) -> std::optional<std::filesystem::path> {
            audioPanelMessages.push_back(message);
            if (audioPanelAnswers.empty()) return std::nullopt;
            auto answer = audioPanelAnswers.front();
            audioPanelAnswers.pop_front();
            return answer;
        };
        services.scheduler = scheduler;
        services.dialogs = dialogs;
        services.settings = settings;
        services.audioUnitEditors = editorWindows;
        services.exportDialogs = exportDialogs;
        services.audioUnitComponents = [this](std::uint32_t type) {
            std::vector<AudioUnitReference> result;
            for (const auto& unit : installed) if (unit.componentType == type) result.push_back(unit);
            return result;
        };
        services.audioUnitComponentsLoaded = componentsLoaded;
        model = std::make_unique<AppModel>(recoverAutosave, autosavePath(), std::move(services));
        return *model;
    }

    std::filesystem::path autosavePath() const { return folder / "Autosave.veltrane"; }

    /// Lets the autosave delay pass and waits until its snapshot is on disk.
    void passAutosaveDelay()
    {
        scheduler->advance(AppModel::autosaveDelay);
        model->waitForAutosaveWrite();
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<VirtualTaskScheduler> scheduler;
    std::shared_ptr<ScriptedDialogs> dialogs;
    std::shared_ptr<ScriptedExportDialogs> exportDialogs;
    std::shared_ptr<QSettings> settings;
    RecordingEngine* engine = nullptr;
    /// The editor windows the model gets; none unless the test sets them before `make`.
    std::shared_ptr<AudioUnitEditorWindows> editorWindows;
    ScriptedMIDI* midi = nullptr;
    ScriptedRecorder* recorder = nullptr;
    std::vector<std::string> audioPanelMessages;
    std::deque<std::filesystem::path> audioPanelAnswers;
    std::unique_ptr<AppModel> model;
};

/// Sets one cell of pattern 0 through the edit transaction.
inline void editCell(AppModel& model, int row, int track, Cell cell)
{
    model.mutate([&](Project& project) { project.patterns[0].setCell(row, track, cell); });
}

} // namespace veltrane::testing
