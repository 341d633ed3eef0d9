#include "Veltrane/Model/AppModel.hpp"

#include "Veltrane/Model/AudioFilePanel.hpp"
#include "Veltrane/Transport/MIDIInput.hpp"
#include "Veltrane/Updates/ApplicationBundle.hpp"
#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/Models/ProjectLoadLimit.hpp"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

/// The grid's row height factor as stored: 0 (also an absent key) is 1, then held to 0.65 ... 1.8. A
/// stored NaN fails both comparisons of the upper limit's `min` and so reads as 1.8.
double storedRowZoom(QSettings& settings)
{
    double zoom = settings.value(AppModel::rowZoomKey, 0.0).toDouble();
    if (zoom == 0) zoom = 1.0;
    zoom = std::isnan(zoom) ? 1.8 : std::min(zoom, 1.8);
    return std::max(zoom, 0.65);
}

std::set<std::string> usedAudioUnitIDs(const Project& project, std::map<std::string, std::string>& names)
{
    std::set<std::string> ids;
    auto note = [&](const AudioUnitReference& reference) {
        ids.insert(reference.id());
        names.emplace(reference.id(), reference.name);
    };
    for (const auto& instrument : project.instruments) {
        if (const auto* unit = std::get_if<AudioUnitSource>(&instrument.source)) note(unit->reference);
    }
    for (const auto& track : project.mixer) {
        if (track.audioUnits) for (const auto& slot : *track.audioUnits) note(slot.reference);
    }
    if (project.masterFX && project.masterFX->audioUnits) {
        for (const auto& slot : *project.masterFX->audioUnits) note(slot.reference);
    }
    return ids;
}

/// Why an edit was refused, in the user's words.
std::string refusalMessage(const LoadLimitExcess& excess)
{
    const std::string prefix = "This change was not made: ";
    switch (excess.limit) {
    case LoadLimit::trackAudioUnits:
        return prefix + "track " + std::to_string(excess.track + 1) + " would hold " + std::to_string(excess.amount) +
               " Audio Unit effects, more than the " + std::to_string(maxAudioUnitSlots) + " a track can hold.";
    case LoadLimit::masterAudioUnits:
        return prefix + "the master would hold " + std::to_string(excess.amount) + " Audio Unit effects, more than the " +
               std::to_string(maxAudioUnitSlots) + " it can hold.";
    case LoadLimit::storedData: break;
    }
    const auto mebibytes = (excess.amount + (1u << 20) - 1) >> 20;
    return prefix + "the project's embedded samples and Audio Unit states would take " + std::to_string(mebibytes) +
           " MiB, more than the 512 MiB a project can hold and still be opened. Remove an embedded sample or an "
           "Audio Unit first.";
}

} // namespace

AppModel::AppModel(bool recoverAutosave, std::optional<std::filesystem::path> recoveryURL, AppModelServices services,
                   QObject* parent)
    : QObject(parent)
    , feedbackURL_(QStringLiteral("https://veltrane.app/feedback?app=veltrane"))
    , websiteURL_(QStringLiteral("https://veltrane.app/veltrane/"))
    , version_(applicationVersion(ApplicationBundle::running().path))
{
    transport_ = std::make_unique<Transport>(*this);
    scheduler_ = services.scheduler ? std::move(services.scheduler) : std::make_shared<QtTaskScheduler>();
    dialogs_ = services.dialogs ? std::move(services.dialogs) : std::make_shared<NoDocumentDialogs>();
    settings_ = services.settings ? std::move(services.settings) : std::make_shared<QSettings>();
    if (services.audioUnitComponents) {
        audioUnitComponents_ = std::move(services.audioUnitComponents);
        audioUnitComponentsLoaded_ = services.audioUnitComponentsLoaded ? std::move(services.audioUnitComponentsLoaded)
                                                                        : [] { return true; };
    } else {
        audioUnitComponents_ = [](std::uint32_t type) { return AudioUnitCatalog::components(type); };
        audioUnitComponentsLoaded_ = services.audioUnitComponentsLoaded ? std::move(services.audioUnitComponentsLoaded)
                                                                        : [] { return AudioUnitCatalog::installedPluginsLoaded(); };
    }
    midiEndpointCounts_ = services.midiEndpointCounts ? std::move(services.midiEndpointCounts)
                                                      : [] { return std::pair<int, int>{0, 0}; };
    rowZoom_ = storedRowZoom(*settings_);
    audio_ = services.audio ? std::move(services.audio)
                            : std::make_unique<AudioEngineControl>(std::make_unique<AudioEngine>());
    recoveryURL_ = recoveryURL ? std::move(*recoveryURL) : autosaveURL();
    autosaveWriter_ = std::make_shared<AutosaveWriter>();
    audioUnitEditors_ = services.audioUnitEditors ? std::move(services.audioUnitEditors)
                                                  : std::make_shared<NoAudioUnitEditorWindows>();
    exportDialogs_ = services.exportDialogs ? std::move(services.exportDialogs) : std::make_shared<NoExportDialogs>();

    removeAbandonedAutosaveWrites();
    seedDemo();
    if (recoverAutosave) readAutosaveAtStart();

    // Listing every installed plug-in can take a moment on a machine with many of them: the window
    // comes up at once and the menus fill when the list is there.
    listAudioUnitComponentsWhenLoaded();
    audio_->onAudioUnitStateChange = [this] { audioUnitStateChanged(); };
    midi_ = services.midi ? std::move(services.midi) : std::make_unique<MIDIInput>();
    recorder_ = services.recorder ? std::move(services.recorder)
                                  : std::make_unique<AudioInputSampleRecorder>(autosaveURL().parent_path());
    chooseAudioFile_ = services.chooseAudioFile ? std::move(services.chooseAudioFile) : qtAudioFilePanel();
    transport_->start();
}

AppModel::~AppModel()
{
    // The engine is the model's own; a callback that arrives while it is torn down finds nothing to call.
    audio_->onAudioUnitStateChange = nullptr;
    audio_->onConfigurationChange = nullptr;
    // The pending capture is the one task that reaches the model itself.
    if (audioUnitStateTask_) audioUnitStateTask_->cancel();
    if (audioUnitListingTask_) audioUnitListingTask_->cancel();
    endExport();
}

// Observed state.

void AppModel::setProject(Project project) { assign(project_, std::move(project), &AppModel::projectChanged); }
void AppModel::setPatternIndex(int value) { assign(patternIndex_, value, &AppModel::patternIndexChanged); }
void AppModel::setQueuedPatternIndex(std::optional<int> value) { assign(queuedPatternIndex_, value, &AppModel::queuedPatternIndexChanged); }
void AppModel::setSelectedRow(int value) { assign(selectedRow_, value, &AppModel::selectedRowChanged); }
void AppModel::setSelectedTrack(int value) { assign(selectedTrack_, value, &AppModel::selectedTrackChanged); }
void AppModel::setSelectedField(CellField value) { assign(selectedField_, value, &AppModel::selectedFieldChanged); }
void AppModel::setSelectionAnchor(std::optional<GridPosition> value) { assign(selectionAnchor_, value, &AppModel::selectionAnchorChanged); }
void AppModel::setSelectedInstrument(int value) { assign(selectedInstrument_, value, &AppModel::selectedInstrumentChanged); }
void AppModel::setSelectedSongBlock(int value) { assign(selectedSongBlock_, value, &AppModel::selectedSongBlockChanged); }
void AppModel::setOctave(int value) { assign(octave_, value, &AppModel::octaveChanged); }
void AppModel::setIsPlaying(bool value) { assign(isPlaying_, value, &AppModel::isPlayingChanged); }
void AppModel::setIsPreparingPlayback(bool value) { assign(isPreparingPlayback_, value, &AppModel::isPreparingPlaybackChanged); }
void AppModel::setSongMode(bool value) { assign(songMode_, value, &AppModel::songModeChanged); }
void AppModel::setMetronome(bool value) { assign(metronome_, value, &AppModel::metronomeChanged); }
void AppModel::setCountIn(bool value) { assign(countIn_, value, &AppModel::countInChanged); }
void AppModel::setLoopEnabled(bool value) { assign(loopEnabled_, value, &AppModel::loopEnabledChanged); }
void AppModel::setMidiEnabled(bool value) { assign(midiEnabled_, value, &AppModel::midiEnabledChanged); }
void AppModel::setMidiClockSend(bool value) { assign(midiClockSend_, value, &AppModel::midiClockSendChanged); }
void AppModel::setMidiClockReceive(bool value) { assign(midiClockReceive_, value, &AppModel::midiClockReceiveChanged); }
void AppModel::setExternalClockBPM(std::optional<double> value) { assign(externalClockBPM_, value, &AppModel::externalClockBPMChanged); }
void AppModel::setRecordMIDINoteOff(bool value) { assign(recordMIDINoteOff_, value, &AppModel::recordMIDINoteOffChanged); }
void AppModel::setIsLiveRecording(bool value) { assign(isLiveRecording_, value, &AppModel::isLiveRecordingChanged); }
void AppModel::setLiveRecordMode(LiveRecordMode value) { assign(liveRecordMode_, value, &AppModel::liveRecordModeChanged); }
void AppModel::setLiveRecordWriteMode(LiveRecordWriteMode value) { assign(liveRecordWriteMode_, value, &AppModel::liveRecordWriteModeChanged); }
void AppModel::setRecordQuantizeStrength(double value) { assign(recordQuantizeStrength_, value, &AppModel::recordQuantizeStrengthChanged); }
void AppModel::setIsSampleRecording(bool value) { assign(isSampleRecording_, value, &AppModel::isSampleRecordingChanged); }
void AppModel::setIsExporting(bool value) { assign(isExporting_, value, &AppModel::isExportingChanged); }
void AppModel::setIsRecoveringAudio(bool value) { assign(isRecoveringAudio_, value, &AppModel::isRecoveringAudioChanged); }
void AppModel::setExportMessage(std::string value) { assign(exportMessage_, std::move(value), &AppModel::exportMessageChanged); }
void AppModel::setError(std::optional<std::string> value) { assign(error_, std::move(value), &AppModel::errorChanged); }
void AppModel::setAvailableAudioUnitInstruments(std::vector<AudioUnitReference> value) { assign(availableAudioUnitInstruments_, std::move(value), &AppModel::availableAudioUnitInstrumentsChanged); }
void AppModel::setAvailableAudioUnitEffects(std::vector<AudioUnitReference> value) { assign(availableAudioUnitEffects_, std::move(value), &AppModel::availableAudioUnitEffectsChanged); }
void AppModel::setRecoveryAvailable(bool value) { assign(recoveryAvailable_, value, &AppModel::recoveryAvailableChanged); }
void AppModel::setMissingSampleInstrumentIDs(std::set<Uuid> value) { assign(missingSampleInstrumentIDs_, std::move(value), &AppModel::missingSampleInstrumentIDsChanged); }
void AppModel::setUnavailableAudioUnitIDs(std::set<std::string> value) { assign(unavailableAudioUnitIDs_, std::move(value), &AppModel::unavailableAudioUnitIDsChanged); }
void AppModel::setRecoveryOriginalURL(std::optional<std::filesystem::path> value) { assign(recoveryOriginalURL_, std::move(value), &AppModel::recoveryOriginalURLChanged); }
void AppModel::setFileURL(std::optional<std::filesystem::path> value) { assign(fileURL_, std::move(value), &AppModel::fileURLChanged); }
void AppModel::setIsDirty(bool value) { assign(isDirty_, value, &AppModel::isDirtyChanged); }
void AppModel::setPendingOpenURL(std::optional<std::filesystem::path> value) { assign(pendingOpenURL_, std::move(value), &AppModel::pendingOpenURLChanged); }
void AppModel::setSavedProject(std::optional<Project> value) { savedProject_ = std::move(value); }

void AppModel::setRowZoom(double value)
{
    settings_->setValue(rowZoomKey, value);
    assign(rowZoom_, value, &AppModel::rowZoomChanged);
}

void AppModel::setHistory(std::vector<Project> undo, std::vector<Project> redo)
{
    const bool changed = !undo.empty() || !redo.empty() || !undoStack_.empty() || !redoStack_.empty();
    undoStack_ = std::move(undo);
    redoStack_ = std::move(redo);
    if (changed) emit historyChanged();
}

// Derived.

std::string AppModel::title() const { return isDirty_ ? project_.name + " \u2014 Edited" : project_.name; }

std::optional<CellRange> AppModel::selection() const
{
    if (!selectionAnchor_) return std::nullopt;
    return CellRange{
    .startRow = std::min(selectionAnchor_->row, selectedRow_),
    .startTrack = std::min(selectionAnchor_->track, selectedTrack_),
    .endRow = std::max(selectionAnchor_->row, selectedRow_),
    .endTrack = std::max(selectionAnchor_->track, selectedTrack_),
    };
}

// The edit transaction.

bool AppModel::refusesForLoadLimit(const Project& before, const Project& after)
{
    // Only an edit that adds stored data or a slot can break a limit; checking costs a walk over the
    // instruments and chains, never over the cells.
    const auto excess = loadLimitExcess(after);
    if (!excess) return false;
    if (const auto earlier = loadLimitExcess(before); earlier && earlier->limit == excess->limit &&
                                                      earlier->track == excess->track && excess->amount <= earlier->amount) {
        return false; // not made worse by this edit
    }
    setError(refusalMessage(*excess));
    return true;
}

bool AppModel::mutate(const std::function<void(Project&)>& change)
{
    Project changed = project_;
    change(changed);
    if (refusesForLoadLimit(project_, changed)) return false;

    undoStack_.push_back(std::move(project_));
    if (undoStack_.size() > undoLimit) undoStack_.erase(undoStack_.begin());
    redoStack_.clear();
    project_ = std::move(changed);
    emit historyChanged();
    emit projectChanged();
    audio_->apply(project_);
    refreshDirtyState();
    return true;
}

void AppModel::undoOrRedo(std::vector<Project>& source, std::vector<Project>& target)
{
    if (source.empty()) return;
    Project restored = std::move(source.back());
    source.pop_back();
    target.push_back(project_);
    emit historyChanged();
    setProject(std::move(restored));
    audio_->apply(project_);
    refreshDirtyState();
    // Undoing a relink brings the lost file back: the sample is missing again, and can be relinked again.
    refreshMissingSamples(false);
}

void AppModel::undo() { undoOrRedo(undoStack_, redoStack_); }
void AppModel::redo() { undoOrRedo(redoStack_, undoStack_); }

void AppModel::refreshDirtyState()
{
    const bool dirty = !savedProject_ || !(project_ == *savedProject_);
    setIsDirty(dirty);
    if (dirty) {
        scheduleAutosave();
    } else {
        discardAutosave();
    }
}

// Plug-ins.

void AppModel::listAudioUnitComponentsWhenLoaded()
{
    if (!audioUnitComponentsLoaded_()) {
        audioUnitListingTask_ = scheduler_->after(std::chrono::milliseconds(50), [this] { listAudioUnitComponentsWhenLoaded(); });
        return;
    }
    audioUnitListingTask_.reset();
    auto effects = audioUnitComponents_(audioUnitEffectType);
    const auto musicEffects = audioUnitComponents_(audioUnitMusicEffectType);
    effects.insert(effects.end(), musicEffects.begin(), musicEffects.end());
    audioUnitComponentsListed_ = true;
    setAvailableAudioUnitInstruments(audioUnitComponents_(audioUnitInstrumentType));
    setAvailableAudioUnitEffects(std::move(effects));
    refreshUnavailableAudioUnits(std::exchange(pendingUnavailableReport_, false));
}

void AppModel::refreshUnavailableAudioUnits(bool report)
{
    if (!audioUnitComponentsListed_) {
        // Nothing is known to be missing yet; the listing refreshes (and reports) when it is done.
        pendingUnavailableReport_ = pendingUnavailableReport_ || report;
        setUnavailableAudioUnitIDs({});
        return;
    }
    std::set<std::string> installed;
    for (const auto& reference : availableAudioUnitInstruments_) installed.insert(reference.id());
    for (const auto& reference : availableAudioUnitEffects_) installed.insert(reference.id());

    std::map<std::string, std::string> names;
    std::set<std::string> unavailable;
    for (const auto& id : usedAudioUnitIDs(project_, names)) {
        if (!installed.contains(id)) unavailable.insert(id);
    }
    if (report && !unavailable.empty()) {
        std::set<std::string> missingNames;
        for (const auto& id : unavailable) missingNames.insert(names[id]);
        std::string list;
        for (const auto& name : missingNames) list += (list.empty() ? "" : ", ") + name;
        setError("Unavailable Audio Units will be skipped: " + list + ".");
    }
    setUnavailableAudioUnitIDs(std::move(unavailable));
}

// Updates.

std::optional<UpdateInfo> AppModel::availableUpdate() const
{
    return updateCommands_ ? updateCommands_->availableUpdate() : std::nullopt;
}
bool AppModel::isUpdating() const { return updateCommands_ && updateCommands_->isUpdating(); }
bool AppModel::isCheckingForUpdate() const { return updateCommands_ && updateCommands_->isCheckingForUpdate(); }

void AppModel::setUpdateCommands(std::unique_ptr<UpdateCommands> commands)
{
    updateCommands_ = std::move(commands);
    if (!updateCommands_) return;
    connect(updateCommands_.get(), &UpdateCommands::availableUpdateChanged, this, &AppModel::availableUpdateChanged);
    connect(updateCommands_.get(), &UpdateCommands::isUpdatingChanged, this, &AppModel::isUpdatingChanged);
    connect(updateCommands_.get(), &UpdateCommands::isCheckingForUpdateChanged, this,
            &AppModel::isCheckingForUpdateChanged);
    updateCommands_->checkForUpdate();
}

} // namespace veltrane
