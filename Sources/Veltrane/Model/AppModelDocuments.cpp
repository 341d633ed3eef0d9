// The document life of the model: autosave, recovery after a crash, and the commands that replace or
// store the open project.

#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/RecoverySnapshot.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"
#include "VeltranePlatform/Files/AtomicFileWriter.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace veltrane {

namespace {

constexpr std::string_view autosaveFileName = "Autosave.veltrane";
constexpr std::string_view demoProjectName = "Veltrane Demo";

class FileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The whole file. Throws `FileReadError` with the message for the user.
std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        throw FileReadError("The file \u201C" + path.filename().string() + "\u201D could not be opened: " +
                            std::strerror(error != 0 ? error : ENOENT) + ".");
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) {
        throw FileReadError("The file \u201C" + path.filename().string() + "\u201D could not be read.");
    }
    return std::move(bytes).str();
}

bool isReadableFile(const std::filesystem::path& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

} // namespace

std::filesystem::path AppModel::autosaveURL()
{
    // The user's data folder, or, without one, the user's private runtime folder: never a predictable
    // name in the shared temporary folder.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const auto folder = std::filesystem::path(base.toStdString()) / "Veltrane";
    std::error_code ignored; // a folder that cannot be made only makes every autosave write fail
    std::filesystem::create_directories(folder, ignored);
    return folder / autosaveFileName;
}

// Autosave.

void AppModel::scheduleAutosave()
{
    if (autosaveTask_) autosaveTask_->cancel();
    // The task holds copies and the writer, never the model: edits made during the delay start a new task.
    auto writer = autosaveWriter_;
    autosaveTask_ = scheduler_->after(autosaveDelay, [writer, project = project_, original = fileURL_,
                                                      target = recoveryURL_]() mutable {
        writer->write(std::move(project), std::move(original), std::move(target));
    });
}

void AppModel::discardAutosave()
{
    if (autosaveTask_) autosaveTask_->cancel();
    autosaveWriter_->discard(recoveryURL_);
}

void AppModel::removeAbandonedAutosaveWrites()
{
    // A write cut short by a crash leaves its temporary file beside the autosave, hidden and named after
    // it; the snapshot itself is whole, so what is left over is only clutter (up to the project's size).
    const auto folder = recoveryURL_.parent_path();
    const auto prefix = "." + recoveryURL_.filename().string() + ".";
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const auto name = entry->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
            std::error_code ignored;
            std::filesystem::remove(entry->path(), ignored);
        }
    }
}

void AppModel::readAutosaveAtStart()
{
    std::string bytes;
    try {
        bytes = readWholeFile(recoveryURL_);
    } catch (const FileReadError&) {
        return;
    }
    auto snapshot = decodeRecoverySnapshot(bytes);
    if (!snapshot) return;
    recoveryProject_ = std::move(snapshot->project);
    setRecoveryOriginalURL(std::move(snapshot->originalFile));
    setRecoveryAvailable(true);
}

// Recovery.

bool AppModel::recoveryOriginalAvailable() const
{
    std::error_code error;
    return recoveryOriginalURL_ && std::filesystem::exists(*recoveryOriginalURL_, error);
}

void AppModel::clearRecoveryOffer()
{
    recoveryProject_.reset();
    setRecoveryAvailable(false);
    setPendingOpenURL(std::nullopt);
}

void AppModel::recoverAutosave()
{
    if (!recoveryProject_) return;
    endDocumentSession();
    std::optional<Project> original;
    if (recoveryOriginalURL_) {
        try {
            original = decodeProject(readWholeFile(*recoveryOriginalURL_));
        } catch (const std::exception&) {
            // An original that cannot be read leaves the document without a saved copy: it stays edited
            // until it is saved.
        }
    }
    installDocument(std::move(*recoveryProject_), true);
    setFileURL(recoveryOriginalURL_);
    setSavedProject(std::move(original));
    setIsDirty(true);
    clearRecoveryOffer();
    audio_->apply(project_);
    refreshMissingSamples(true);
    refreshUnavailableAudioUnits(true);
}

void AppModel::openRecoveryOriginal()
{
    if (!recoveryOriginalAvailable()) return;
    // The offer stays until the original has loaded: a failed load leaves both choices open.
    if (loadProject(*recoveryOriginalURL_)) clearRecoveryOffer();
}

void AppModel::discardRecovery()
{
    const auto pending = pendingOpenURL_;
    clearRecoveryOffer();
    setRecoveryOriginalURL(std::nullopt);
    discardAutosave();
    if (pending) loadProject(*pending);
}

// Replacing the document.

void AppModel::endDocumentSession()
{
    // A recording armed on the old document ends with it: its snapshot must never become an undo step
    // of the next document, and its held notes belong to cells of the old one.
    transport_->endRecordingSession();
    setIsLiveRecording(false);
}

void AppModel::installDocument(Project project, bool resetSelectedInstrument)
{
    setProject(std::move(project));
    setPatternIndex(0);
    setSelectedRow(0);
    setSelectedTrack(0);
    setSelectionAnchor(std::nullopt);
    hexDigits_.clear();
    if (resetSelectedInstrument) setSelectedInstrument(0);
    setHistory({}, {});
}

bool AppModel::loadProject(const std::filesystem::path& path)
{
    stop();
    Project loaded;
    try {
        loaded = decodeProject(readWholeFile(path));
    } catch (const std::exception& failure) {
        setError(std::string(failure.what()));
        return false;
    }
    endDocumentSession();
    installDocument(std::move(loaded), false);
    setFileURL(path);
    setSavedProject(project_);
    setIsDirty(false);
    audio_->apply(project_);
    discardAutosave();
    refreshMissingSamples(true);
    refreshUnavailableAudioUnits(true);
    return true;
}

void AppModel::replaceWithNewProject(bool demo)
{
    if (!confirmDiscard()) return;
    stop();
    endDocumentSession();
    Project project;
    if (demo) project.name = std::string(demoProjectName);
    installDocument(std::move(project), true);
    setFileURL(std::nullopt);
    if (demo) {
        seedDemo();
    } else {
        setSavedProject(project_);
        setIsDirty(false);
    }
    discardAutosave();
    refreshMissingSamples(false);
    refreshUnavailableAudioUnits(false);
    audio_->apply(project_);
}

void AppModel::newProject() { replaceWithNewProject(false); }
void AppModel::loadDemoProject() { replaceWithNewProject(true); }

void AppModel::seedDemo()
{
    Project project = project_;
    auto& pattern = project.patterns.at(0);
    constexpr int bassline[] = {60, 63, 67, 70};
    for (int k = 0; k < 16; ++k) {
        pattern.setCell(k * 4, 0, Cell{.note = NotePitch{bassline[k % 4]}, .instrument = 2, .volume = 40});
        pattern.setCell(k * 4 + 2, 1, Cell{.note = NotePitch{48}, .instrument = 0, .volume = 32});
    }
    setProject(std::move(project));
    setSavedProject(project_);
    setIsDirty(false);
}

void AppModel::refreshMissingSamples(bool report)
{
    std::set<Uuid> missing;
    for (const auto& instrument : project_.instruments) {
        const auto* sample = std::get_if<SampleSource>(&instrument.source);
        if (!sample) continue;
        const auto path = resolveBookmark(sample->bookmark.bytes());
        if (!path || !isReadableFile(*path)) missing.insert(instrument.id);
    }
    const auto count = missing.size();
    setMissingSampleInstrumentIDs(std::move(missing));
    if (report && count > 0) {
        setError("This project is missing " + std::to_string(count) + " sample" + (count == 1 ? "" : "s") +
                 ". Open Samples and choose Locate.");
    }
}

// Saving and opening.

bool AppModel::save()
{
    std::filesystem::path target;
    if (fileURL_) {
        target = *fileURL_;
    } else {
        auto chosen = dialogs_->chooseSaveLocation(project_.name + projectFileExtension);
        if (!chosen) return false;
        target = std::move(*chosen);
        // The panel offers the project type alone.
        if (target.extension() != projectFileExtension) target += projectFileExtension;
    }

    Project saving = project_;
    saving.name = target.stem().string();
    audio_->captureAudioUnitState(saving);
    setProject(std::move(saving));

    try {
        writeFileAtomically(target, encodeProject(project_));
    } catch (const std::exception& failure) {
        setError(std::string(failure.what()));
        return false;
    }
    setFileURL(target);
    setSavedProject(project_);
    setIsDirty(false);
    discardAutosave();
    return true;
}

void AppModel::open()
{
    if (!confirmDiscard()) return;
    if (const auto chosen = dialogs_->chooseProjectToOpen()) loadProject(*chosen);
}

bool AppModel::confirmDiscard()
{
    if (!isDirty_) return true;
    const UnsavedChangesAlert alert{
    .messageText = "Save changes to " + project_.name + "?",
    .informativeText = "Your changes will be lost if you don\u2019t save them.",
    .buttons = {"Save", "Cancel", "Don\u2019t Save"},
    };
    switch (dialogs_->askAboutUnsavedChanges(alert)) {
    case UnsavedChangesChoice::save: return save();
    case UnsavedChangesChoice::dontSave: return true;
    case UnsavedChangesChoice::cancel: return false;
    }
    return false;
}

// Diagnostics.

std::string AppModel::diagnosticsReport()
{
    const auto [midiInputs, midiOutputs] = midiEndpointCounts_();
    const auto sampleRate = static_cast<long long>(std::llround(audio_->outputSampleRate()));
    std::string report;
    report += "Veltrane " + version_ + "\n";
    report += QSysInfo::prettyProductName().toStdString() + "\n";
    report += "Architecture: " + QSysInfo::currentCpuArchitecture().toStdString() + "\n";
    report += "Audio sample rate: " + std::to_string(sampleRate) + " Hz\n";
    report += "MIDI: " + std::to_string(midiInputs) + " inputs, " + std::to_string(midiOutputs) + " outputs\n";
    report += "Audio Units: " + std::to_string(availableAudioUnitInstruments_.size()) + " instruments, " +
              std::to_string(availableAudioUnitEffects_.size()) + " effects, " +
              std::to_string(unavailableAudioUnitIDs_.size()) + " unavailable\n";
    report += "Project: " + std::to_string(project_.patterns.size()) + " patterns, " +
              std::to_string(project_.mixer.size()) + " tracks, " + std::to_string(project_.instruments.size()) +
              " instruments\n";
    report += "Project format: " + std::to_string(project_.version);
    return report;
}

} // namespace veltrane
