#pragma once

// The one application model: the open project and every piece of editor, transport, MIDI, recording,
// recovery and update state. Views read its properties, connect to their change signals and call its
// operations; nothing else changes the document. Main thread only.
//
// Every edit of the document goes through one transaction, `mutate`: the project before the edit goes
// on the undo stack (at most 100 steps), the redo stack empties, the change runs in place, the engine
// receives the new project and the unsaved-changes state is recomputed, which restarts the half-second
// autosave delay. Undo steps are whole projects; the document is copy-on-write, so a step costs only
// what the edit changed.
//
// Setting a property notifies its signal only when the value changes. Assigning `setProject` directly
// records no undo step, does not reach the engine and leaves the unsaved-changes state alone.
//
// The model reaches the audio engine, the clock, the prompts and the user defaults through the
// services it is given, so that tests run it against a recording engine, virtual time and scripted
// answers:
//
//     AppModel model(/*recoverAutosave*/ true);                          // the application's model
//     AppModel model(false, folder / "Autosave.veltrane", std::move(services));   // a test's

#include "Veltrane/Model/AudioUnitEditorWindows.hpp"
#include "Veltrane/Model/AutosaveWriter.hpp"
#include "Veltrane/Model/CellField.hpp"
#include "Veltrane/Model/DocumentDialogs.hpp"
#include "Veltrane/Model/EngineControl.hpp"
#include "Veltrane/Model/ExportDialogs.hpp"
#include "Veltrane/Model/InspectorControls.hpp"
#include "Veltrane/Model/KeyPress.hpp"
#include "Veltrane/Model/LiveRecordingState.hpp"
#include "Veltrane/Model/PlaybackDisplayState.hpp"
#include "Veltrane/Model/SampleRecorder.hpp"
#include "Veltrane/Model/TaskScheduler.hpp"
#include "Veltrane/Transport/MIDIConnection.hpp"
#include "Veltrane/Transport/Transport.hpp"
#include "Veltrane/Updates/UpdateCommands.hpp"
#include "VeltraneCore/Models/AudioUnitReference.hpp"
#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/StepNote.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/Presets/InstrumentPreset.hpp"
#include "VeltraneCore/MIDIRealtime/MIDIClockFollow.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Updater/UpdateInfo.hpp"

#include <QObject>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>
#include <span>
#include <string>
#include <utility>
#include <vector>

class QSettings;

namespace veltrane {

/// A cell position of the current pattern.
struct GridPosition {
    int row = 0;
    int track = 0;
    friend bool operator==(const GridPosition&, const GridPosition&) = default;
};

/// What the model uses of the world around it. Every member left empty gets the application's own.
struct AppModelServices {
    /// The live engine; default: a new `AudioEngine` on the default output device.
    std::unique_ptr<EngineControl> audio;
    /// Delayed tasks; default: the Qt event loop.
    std::shared_ptr<TaskScheduler> scheduler;
    /// Save and open panels and the unsaved-changes alert; default: none (every prompt is cancelled).
    std::shared_ptr<DocumentDialogs> dialogs;
    /// User defaults; default: the application's QSettings.
    std::shared_ptr<QSettings> settings;
    /// The installed plug-ins of a component type; default: the LV2 catalogue.
    std::function<std::vector<AudioUnitReference>(std::uint32_t type)> audioUnitComponents;
    /// Whether `audioUnitComponents` can answer without waiting; until it can, the model asks again now
    /// and then and publishes the lists once they are there. Default: always when `audioUnitComponents`
    /// is given, else whether the LV2 catalogue, listed in the background, is done.
    std::function<bool()> audioUnitComponentsLoaded;
    /// The MIDI sources and destinations, counted for the diagnostics report.
    std::function<std::pair<int, int>()> midiEndpointCounts;
    /// The plug-in editor windows; default: none (no editor can be shown).
    std::shared_ptr<AudioUnitEditorWindows> audioUnitEditors;
    /// The panels of the export and import commands; default: none (every panel is cancelled).
    std::shared_ptr<ExportDialogs> exportDialogs;
    /// MIDI in and out; default: a `MIDIInput` on the machine's MIDI services.
    std::unique_ptr<MIDIConnection> midi;
    /// The audio input recorder; default: the default input, takes in the user's data folder.
    std::unique_ptr<SampleRecorder> recorder;
    /// The open panel for one audio file, with a message; default: a Qt file dialog in a widget
    /// application, else none (every panel cancelled).
    std::function<std::optional<std::filesystem::path>(const std::string& message)> chooseAudioFile;
};

struct ExportJob;

namespace testing {
struct AppModelTestAccess;
}

class AppModel final : public QObject {
    Q_OBJECT

public:
    /// Undo steps kept; older ones are dropped.
    static constexpr std::size_t undoLimit = 100;
    /// Quiet time after the last change before the autosave is written.
    static constexpr std::chrono::milliseconds autosaveDelay{500};
    /// How long a note entered from the keyboard sounds, seconds.
    static constexpr double auditionSeconds = 0.35;
    /// The user-defaults key of the grid's row height factor.
    static constexpr const char* rowZoomKey = "Veltrane.rowZoom";

    /// Builds the model: defaults, the demo project (clean), the autosave read into the recovery slot
    /// when `recoverAutosave` is on, the installed plug-ins and the engine's callbacks. `recoveryURL` is
    /// where the autosave lives; none for the default location. Never fails.
    explicit AppModel(bool recoverAutosave, std::optional<std::filesystem::path> recoveryURL = std::nullopt,
                      AppModelServices services = {}, QObject* parent = nullptr);
    ~AppModel() override;

    /// The default autosave file: "Autosave.veltrane" in the "Veltrane" folder of the user's data folder
    /// (the folder is created when missing).
    static std::filesystem::path autosaveURL();

    // Constants.
    const QUrl& feedbackURL() const noexcept { return feedbackURL_; }
    const QUrl& websiteURL() const noexcept { return websiteURL_; }
    /// The version the running application's folder declares, or "Development" for a folder that
    /// declares none (a build folder).
    const std::string& version() const noexcept { return version_; }
    const std::filesystem::path& recoveryURL() const noexcept { return recoveryURL_; }
    MeterState& meters() noexcept { return meters_; }
    PlaybackUIState& playbackUI() noexcept { return playbackUI_; }
    EngineControl& audio() noexcept { return *audio_; }

    // Observed state. Each setter stores the value and emits the signal when it changed.
    const Project& project() const noexcept { return project_; }
    void setProject(Project project);
    /// A newer version the update check found (the update commands' own state, shown as the model's).
    std::optional<UpdateInfo> availableUpdate() const;
    /// An update is being installed.
    bool isUpdating() const;
    /// A check the user asked for runs.
    bool isCheckingForUpdate() const;
    int patternIndex() const noexcept { return patternIndex_; }
    void setPatternIndex(int value);
    std::optional<int> queuedPatternIndex() const noexcept { return queuedPatternIndex_; }
    void setQueuedPatternIndex(std::optional<int> value);
    int selectedRow() const noexcept { return selectedRow_; }
    void setSelectedRow(int value);
    int selectedTrack() const noexcept { return selectedTrack_; }
    void setSelectedTrack(int value);
    CellField selectedField() const noexcept { return selectedField_; }
    void setSelectedField(CellField value);
    std::optional<GridPosition> selectionAnchor() const noexcept { return selectionAnchor_; }
    void setSelectionAnchor(std::optional<GridPosition> value);
    int selectedInstrument() const noexcept { return selectedInstrument_; }
    void setSelectedInstrument(int value);
    int selectedSongBlock() const noexcept { return selectedSongBlock_; }
    void setSelectedSongBlock(int value);
    int octave() const noexcept { return octave_; }
    void setOctave(int value);
    bool isPlaying() const noexcept { return isPlaying_; }
    void setIsPlaying(bool value);
    bool isPreparingPlayback() const noexcept { return isPreparingPlayback_; }
    void setIsPreparingPlayback(bool value);
    bool songMode() const noexcept { return songMode_; }
    void setSongMode(bool value);
    bool metronome() const noexcept { return metronome_; }
    void setMetronome(bool value);
    bool countIn() const noexcept { return countIn_; }
    void setCountIn(bool value);
    bool loopEnabled() const noexcept { return loopEnabled_; }
    void setLoopEnabled(bool value);
    bool midiEnabled() const noexcept { return midiEnabled_; }
    void setMidiEnabled(bool value);
    bool midiClockSend() const noexcept { return midiClockSend_; }
    void setMidiClockSend(bool value);
    bool midiClockReceive() const noexcept { return midiClockReceive_; }
    void setMidiClockReceive(bool value);
    std::optional<double> externalClockBPM() const noexcept { return externalClockBPM_; }
    void setExternalClockBPM(std::optional<double> value);
    bool recordMIDINoteOff() const noexcept { return recordMIDINoteOff_; }
    void setRecordMIDINoteOff(bool value);
    bool isLiveRecording() const noexcept { return isLiveRecording_; }
    void setIsLiveRecording(bool value);
    LiveRecordMode liveRecordMode() const noexcept { return liveRecordMode_; }
    void setLiveRecordMode(LiveRecordMode value);
    LiveRecordWriteMode liveRecordWriteMode() const noexcept { return liveRecordWriteMode_; }
    void setLiveRecordWriteMode(LiveRecordWriteMode value);
    double recordQuantizeStrength() const noexcept { return recordQuantizeStrength_; }
    void setRecordQuantizeStrength(double value);
    /// The grid's row height factor. Every set, also of the same value, is written to the user defaults.
    double rowZoom() const noexcept { return rowZoom_; }
    void setRowZoom(double value);
    bool isSampleRecording() const noexcept { return isSampleRecording_; }
    void setIsSampleRecording(bool value);
    bool isExporting() const noexcept { return isExporting_; }
    void setIsExporting(bool value);
    bool isRecoveringAudio() const noexcept { return isRecoveringAudio_; }
    void setIsRecoveringAudio(bool value);
    const std::string& exportMessage() const noexcept { return exportMessage_; }
    void setExportMessage(std::string value);
    /// The user-facing failure text; the window shows it in an alert and clears it.
    const std::optional<std::string>& error() const noexcept { return error_; }
    void setError(std::optional<std::string> value);
    const std::vector<AudioUnitReference>& availableAudioUnitInstruments() const noexcept { return availableAudioUnitInstruments_; }
    void setAvailableAudioUnitInstruments(std::vector<AudioUnitReference> value);
    const std::vector<AudioUnitReference>& availableAudioUnitEffects() const noexcept { return availableAudioUnitEffects_; }
    void setAvailableAudioUnitEffects(std::vector<AudioUnitReference> value);
    bool recoveryAvailable() const noexcept { return recoveryAvailable_; }
    const std::set<Uuid>& missingSampleInstrumentIDs() const noexcept { return missingSampleInstrumentIDs_; }
    void setMissingSampleInstrumentIDs(std::set<Uuid> value);
    const std::set<std::string>& unavailableAudioUnitIDs() const noexcept { return unavailableAudioUnitIDs_; }
    void setUnavailableAudioUnitIDs(std::set<std::string> value);
    const std::optional<std::filesystem::path>& recoveryOriginalURL() const noexcept { return recoveryOriginalURL_; }
    const std::optional<std::filesystem::path>& fileURL() const noexcept { return fileURL_; }
    bool isDirty() const noexcept { return isDirty_; }
    /// The copy last saved, loaded or created; the unsaved-changes test compares with it.
    const std::optional<Project>& savedProject() const noexcept { return savedProject_; }
    const std::vector<Project>& undoStack() const noexcept { return undoStack_; }
    const std::vector<Project>& redoStack() const noexcept { return redoStack_; }
    bool canUndo() const noexcept { return !undoStack_.empty(); }
    bool canRedo() const noexcept { return !redoStack_.empty(); }
    /// A document the system asked to open while recovery is offered; `discardRecovery()` opens it.
    const std::optional<std::filesystem::path>& pendingOpenURL() const noexcept { return pendingOpenURL_; }
    void setPendingOpenURL(std::optional<std::filesystem::path> value);

    // Derived.
    /// The window title: the project's name, and " — Edited" while there are unsaved changes.
    std::string title() const;
    /// The rectangle between the selection anchor and the cursor; nothing without an anchor.
    std::optional<CellRange> selection() const;

    // The edit transaction.
    /// Applies `change` to the project as one undo step, hands the result to the engine and recomputes
    /// the unsaved-changes state. A change that would make the project too large to open again is
    /// refused: nothing changes and `error` says why. Returns whether the change was applied.
    bool mutate(const std::function<void(Project&)>& change);
    void undo();
    void redo();

    // Documents.
    /// True when the autosave names its document's file and that file exists.
    bool recoveryOriginalAvailable() const;
    void recoverAutosave();
    void openRecoveryOriginal();
    void discardRecovery();
    /// Opens the project file at `path`: stops the transport, reads and checks it, and makes it the
    /// document. A failure leaves the document as it was and sets `error`. Returns whether it loaded.
    bool loadProject(const std::filesystem::path& path);
    /// Saves to the document's file, asking for one first when it has none. Returns whether it was written.
    bool save();
    void open();
    /// Asks what to do with unsaved changes; true when the caller may drop the document.
    bool confirmDiscard();
    void newProject();
    void loadDemoProject();
    /// Eight lines for support: versions, audio, MIDI, plug-ins and the project's size.
    std::string diagnosticsReport();
    /// Compares the plug-ins the project uses with the installed ones; with `report`, names the missing
    /// ones in `error`.
    void refreshUnavailableAudioUnits(bool report);
    /// Whether the installed plug-ins are listed yet; until then both lists are empty and no plug-in
    /// the project uses counts as unavailable.
    bool audioUnitComponentsListed() const noexcept { return audioUnitComponentsListed_; }

    // Cursor, keyboard entry and clipboard.
    void handleKey(const KeyPress& key);
    /// Writes `note` into the cursor cell (with the selected instrument when the cell has none),
    /// auditions a pitch and moves one row down.
    void enter(std::optional<StepNote> note, std::optional<std::uint8_t> velocity);
    /// Places the cursor, clamped into the current pattern; `field` none keeps the column.
    void select(int row, int track, std::optional<CellField> field, bool extending);
    /// Moves the cursor column by `step`, wrapping into the neighbouring track.
    void moveField(int step, bool extending);
    void clearSelectionOrField();
    void copySelection();
    void pasteSelection();
    void selectAllCells();
    /// The MIDI sources and destinations the system reports now (AppModelInspectorSupport.cpp).
    std::pair<int, int> midiEndpointCounts() const;

    // Editing commands. Each change of the project is one undo step through `mutate`. An index a control
    // captured (instrument, track, slot, pattern, block) is checked when the command runs: one that no
    // longer names anything makes the command do nothing and record no step.

    // Pattern tools on the current pattern (AppModelPatternTools.cpp). A tool that works on a region
    // takes the selection, or the whole pattern without one.
    /// A straight volume ramp on the cursor track between the selection's first and last rows (the
    /// whole pattern without a selection).
    void interpolateVolume();
    /// Sets the lock of `target` on the cell at `row` and `track` (the cursor's by default) to `value`
    /// held to the target's range. An instrument target gives a cell without instrument the selected one.
    void setParameterLock(ParameterTarget target, double value, std::optional<int> row = std::nullopt,
                          std::optional<int> track = std::nullopt);
    /// Removes every lock of `target` from the cursor cell.
    void removeParameterLock(ParameterTarget target);
    /// Changes the current pattern's length and/or track count; the mixer follows the widest pattern.
    /// The cursor is kept inside the pattern and the selection ends.
    void resizeCurrentPattern(std::optional<int> rows, std::optional<int> channels);
    /// A Euclidean rhythm of `note` on the cursor track from the selection's first row (or row 0).
    void euclideanFill(int pulses, int steps, int note);
    /// Random notes of the major or minor scale above `root` on every row of the cursor track.
    void randomMelody(double density, int root, bool minor);
    void humanize();
    void accent();
    void doublePattern();
    void transpose(int semitones);
    void rotateRows(int offset);
    /// Applies `change` to a copy of the cursor cell and writes it back.
    void updateCell(const std::function<void(Cell&)>& change);
    void setRowsPerBeat(int rowsPerBeat);
    /// The swing amount, as the Tools and Master panels deliver it (no clamping).
    void setSwing(double swing);

    // Patterns, the pattern order and the song (AppModelSong.cpp).
    void selectPattern(int index);
    void newPattern(bool clone);
    void deletePattern();
    /// An empty name becomes "Pattern <number>".
    void renamePattern(const std::string& name);
    /// Appends a song block for the current pattern, making the song from the order when there is none.
    void addOrder();
    void duplicateOrder(int index);
    void removeOrder(int index);
    void setOrder(int index, int pattern);
    /// Swaps block `index` with block `index + offset`.
    void moveOrder(int index, int offset);
    void moveOrderFromTo(int source, int destination);
    /// Repeats held to 1 ... 64.
    void setOrderRepeats(int index, int repeats);
    void selectSongBlock(int index);
    /// Each part given changes; the region is clamped to the blocks and never inverted.
    void setSongLoop(std::optional<int> start, std::optional<int> end, std::optional<bool> enabled);
    void addSongMarker(int block);
    /// An empty name becomes "Marker".
    void renameSongMarker(const Uuid& id, const std::string& name);
    void removeSongMarker(const Uuid& id);
    /// Beats per minute held to 20 ... 400; a value that is not a finite number is refused.
    void setTempo(double bpm);

    // Instruments, presets and FM (AppModelInstruments.cpp). Each add selects the new instrument.
    void addSynth(Waveform waveform);
    void addFM();
    void addPreset(InstrumentPreset preset);
    /// Applies `change` to the selected instrument's FM settings (the defaults when it has none).
    void updateFM(const std::function<void(FMSettings&)>& change);

    // The modulation rack (AppModelModulation.cpp).
    void addModulationSource(ModulationSourceKind kind);
    void updateModulationSource(const Uuid& id, const std::function<void(ModulationSource&)>& change);
    void removeModulationSource(const Uuid& id);
    void addModulationRoute(const Uuid& sourceID, ParameterTarget target);
    void updateModulationRoute(const Uuid& id, const std::function<void(ModulationRoute&)>& change);
    /// The destination picker: the route's target, scoped to the cursor track or the selected
    /// instrument as the target's kind asks.
    void setModulationRouteDestination(const Uuid& id, ParameterTarget target);
    void removeModulationRoute(const Uuid& id);

    // Inspector bindings, master effects and plug-in slots (AppModelMixer.cpp). Values are stored as the
    // control delivers them; an optional field becomes present.
    void setInstrumentName(int instrument, const std::string& name);
    void setInstrumentControl(int instrument, InstrumentControl control, double value);
    void setMixerControl(int track, MixerControl control, double value);
    void setMixerMuted(int track, bool muted);
    void setMixerSolo(int track, bool solo);
    /// The master volume, the master effects and swing; "Bit Depth" is rounded to a whole number.
    void setMasterControl(MasterControl control, double value);
    /// Applies `change` to the master effects (the defaults when the project has none) and stores them.
    void updateMasterFX(const std::function<void(MasterFX&)>& change);
    /// Appends a hosted instrument named after the plug-in and selects it.
    void addAudioUnitInstrument(const AudioUnitReference& reference);
    /// Appends an insert slot to the master, at most 8 (the step is recorded also when full).
    void addMasterAudioUnitEffect(const AudioUnitReference& reference);
    /// Appends an insert slot to the cursor's track, at most 8 (the step is recorded also when full).
    void addTrackAudioUnitEffect(const AudioUnitReference& reference);
    /// Sets the bypass of the first slot with `id` (tracks first, then the master) and of its live unit.
    void setAudioUnitEffectBypass(const Uuid& id, bool bypassed);
    /// Removes every slot with `id` from every track and the master.
    void removeAudioUnitEffect(const Uuid& id);
    /// Turns a hosted instrument whose plug-in is not available into a sine synth, keeping its sound
    /// settings.
    void replaceUnavailableAudioUnitInstrument(int instrument);
    /// Shows the editor of the selected hosted instrument on the cursor's track, making its window on
    /// first use; a failure is reported through `error`. (AppModelAudioUnitEditors.cpp)
    void openSelectedAudioUnitInstrumentEditor();
    /// Shows the editor of insert slot `id`, making its window on first use.
    void openAudioUnitEffectEditor(const Uuid& id);
    /// How long the settings of a hosted plug-in must stay still in its open editor before they are
    /// written into the project.
    static constexpr std::chrono::milliseconds audioUnitStateDelay{350};

    // Transport, MIDI sync and live recording: the model's `Transport` (Sources/Veltrane/Transport)
    // does the work.
    /// Plays the current pattern, or the song in song mode, from the cursor: builds the timeline, prepares
    /// the hosted plug-ins and schedules it on the engine. Nothing while playing or preparing, or when
    /// there is nothing to play.
    void play() { transport_->play(); }
    /// Ends playback and its preparation; safe when nothing plays. With clock sending on (and not
    /// answering a received Stop), drops the clocks queued ahead and sends Stop.
    void stop() { transport_->stop(); }
    /// The timeline of the running playback; none while stopped or preparing.
    const PlaybackTimeline* activeTimeline() const noexcept { return transport_->activeTimeline(); }
    /// The tempo the running timeline was built with.
    double playbackBaseBPM() const noexcept { return transport_->playbackBaseBPM(); }
    /// The transport's current frame: counted from the first row over every loop cycle, held at 0 through
    /// the count-in; none before the engine has rendered the playback's start.
    std::optional<std::int64_t> currentTransportFrame() { return transport_->currentFrame(); }
    MIDIConnection& midi() noexcept { return *midi_; }

    /// Arms or disarms live recording; disarming makes the whole recording one undo step.
    void toggleLiveRecording() { transport_->toggleLiveRecording(); }
    /// A note on received from MIDI: recorded while armed, and heard.
    void handleMIDINoteOn(int note, int velocity) { transport_->handleMIDINoteOn(note, velocity); }
    /// A note off received from MIDI: ends a held real-time note, or writes a note-off in step mode.
    void handleMIDINoteOff(int note) { transport_->handleMIDINoteOff(note); }
    /// Plays a received note on the selected instrument and track.
    void auditionMIDINote(int note, int velocity) { transport_->auditionMIDINote(note, velocity); }

    /// A received Timing Clock at `hostTimeNanos`: measures the external tempo and, while playing, steers
    /// the playback rate towards it. Nothing unless following the clock.
    void receiveMIDIClock(std::uint64_t hostTimeNanos) { transport_->receiveMIDIClock(hostTimeNanos); }
    /// Received Start, Continue and Stop; nothing unless following the clock.
    void receiveMIDIStart() { transport_->receiveMIDIStart(); }
    void receiveMIDIContinue() { transport_->receiveMIDIContinue(); }
    void receiveMIDIStop() { transport_->receiveMIDIStop(); }
    /// A received Song Position Pointer, in sixteenth notes: moves the cursor there (nothing unless
    /// following the clock).
    void receiveMIDISongPosition(int position) { transport_->receiveMIDISongPosition(position); }
    /// Moves the cursor (and the song block in song mode) to a song position; starts nothing.
    void seekMIDI(int position) { transport_->seekMIDI(position); }
    /// Clocks received while playing since the last received Start or Continue.
    std::int64_t externalClockTicks() const noexcept { return transport_->externalClockTicks(); }
    /// The stamps of the most recent received clocks, oldest first.
    const std::deque<std::uint64_t>& receivedClockTimes() const noexcept { return transport_->receivedClockTimes(); }

    // Export and import (AppModelExport.cpp). The audio exports render on a worker thread while
    // `isExporting` is set; only one export runs at a time, and while it runs the export and import
    // commands do nothing. A failed or cancelled render leaves an earlier file at its path untouched.
    /// Asks for a WAV file and renders the song into it.
    void exportWAV();
    /// Asks for a folder and renders each track alone into "NN Track NN.wav" there, one after another.
    void exportStems();
    /// Asks for a MIDI file and writes the song as a Standard MIDI File.
    void exportMIDI();
    /// Asks for a MIDI file and adds it as a new pattern played at the song's end, with an instrument
    /// per MIDI program, as one undo step.
    void importMIDIFile();
    /// Stops the running export; what it was writing is dropped, stems already finished stay.
    void cancelExport();
    /// How much of the running export is rendered, 0 to 1.
    double exportProgress() const noexcept { return exportProgress_; }

    // Sample instruments (AppModelSamples.cpp). Each change of the project is one undo step; an index
    /// that names no instrument makes the operation do nothing.
    /// Applies `change` to the selected instrument's sample edit (a new one when it has none), brings the
    /// trim, loop and crossfade back into range and stores it.
    void updateSampleEdit(const std::function<void(SampleEdit&)>& change);
    void clearSampleSlices();
    /// The selected instrument's waveform overview for the sample editor: min/max pairs of 180 buckets.
    std::vector<float> samplePeaks();
    /// An instrument's overview for the sample browser: 96 buckets.
    std::vector<float> samplePeaks(int instrument);
    /// The instruments with a sample edit, ascending.
    std::vector<int> sampleInstrumentIndices() const;
    bool isSampleMissing(int instrument) const;
    /// Asks for the missing sample's file, then relinks to it.
    void relinkSample(int instrument);
    /// Embeds the audio file at `path` as a missing instrument's sample; false when the instrument is not
    /// missing or the file is not audio (which `error` then says).
    bool relinkSample(int instrument, const std::filesystem::path& path);
    /// Selects the instrument and plays its middle C for 0.6 s on the cursor track.
    void auditionInstrument(int instrument);
    void setSampleFavorite(int instrument, bool favorite);
    /// Tags from comma-separated text, trimmed, empty ones dropped.
    void setSampleTags(int instrument, const std::string& text);
    /// Asks for one audio file and imports it.
    void importSample();
    /// Adds one embedded sample instrument per audio file, as one undo step, and selects the first; true
    /// when any were added. A file that is not audio refuses the whole import with a message.
    bool importSamples(const std::vector<std::filesystem::path>& paths);
    void detectSampleSlices(double sensitivity);
    /// Removes the slice point within 0.018 of `position` nearest to it, or adds one there.
    void toggleSampleSlice(double position);
    /// Writes one note per slice region (60, 61, …) down the cursor track from the cursor row.
    void chopSampleToPattern();
    /// Starts recording the audio input, or stops and adds the take as an instrument.
    void toggleSampleRecording();

    // Updates.
    /// Playing, preparing playback, exporting, recording audio or recording MIDI: a moment when quitting
    /// for an update would lose work.
    bool isBusy() const noexcept
    {
        return isPlaying_ || isPreparingPlayback_ || isExporting_ || isSampleRecording_ || isLiveRecording_;
    }
    /// Hands the model the application's update commands (made once the model exists, since they ask it
    /// `isBusy`): their state becomes the model's, and the check at launch starts at once.
    void setUpdateCommands(std::unique_ptr<UpdateCommands> commands);
    /// The update commands, for the menu's "Check for Updates…" and "Update to …"; none in tests.
    UpdateCommands* updateCommands() noexcept { return updateCommands_.get(); }

    /// Blocks until the autosave in flight, if any, is on disk (tests, benchmarks, quitting).
    void waitForAutosaveWrite() { autosaveWriter_->waitUntilIdle(); }
    /// Called on the writer's thread with the project of each snapshot that reached the disk (tests).
    void setOnAutosaveWritten(std::function<void(const Project&)> onWritten)
    {
        autosaveWriter_->setOnWritten(std::move(onWritten));
    }

signals:
    void projectChanged();
    void availableUpdateChanged();
    void isUpdatingChanged();
    void isCheckingForUpdateChanged();
    void patternIndexChanged();
    void queuedPatternIndexChanged();
    void selectedRowChanged();
    void selectedTrackChanged();
    void selectedFieldChanged();
    void selectionAnchorChanged();
    void selectedInstrumentChanged();
    void selectedSongBlockChanged();
    void octaveChanged();
    void isPlayingChanged();
    void activeTimelineChanged();
    void playbackBaseBPMChanged();
    void isPreparingPlaybackChanged();
    void songModeChanged();
    void metronomeChanged();
    void countInChanged();
    void loopEnabledChanged();
    void midiEnabledChanged();
    void midiClockSendChanged();
    void midiClockReceiveChanged();
    void externalClockBPMChanged();
    void recordMIDINoteOffChanged();
    void isLiveRecordingChanged();
    void liveRecordModeChanged();
    void liveRecordWriteModeChanged();
    void recordQuantizeStrengthChanged();
    void rowZoomChanged();
    void isSampleRecordingChanged();
    void isExportingChanged();
    void isRecoveringAudioChanged();
    void exportMessageChanged();
    void exportProgressChanged();
    void errorChanged();
    void availableAudioUnitInstrumentsChanged();
    void availableAudioUnitEffectsChanged();
    void recoveryAvailableChanged();
    void missingSampleInstrumentIDsChanged();
    void unavailableAudioUnitIDsChanged();
    void recoveryOriginalURLChanged();
    void fileURLChanged();
    void isDirtyChanged();
    /// The undo or the redo stack changed.
    void historyChanged();
    void pendingOpenURLChanged();

private:
    friend struct testing::AppModelTestAccess;
    // The transport reads and writes the editor's state and the switches the views observe.
    friend class Transport;

    template <typename T, typename Signal>
    void assign(T& field, T value, Signal signal)
    {
        if (field == value) {
            field = std::move(value);
            return;
        }
        field = std::move(value);
        emit(this->*signal)();
    }

    void setRecoveryAvailable(bool value);
    void setRecoveryOriginalURL(std::optional<std::filesystem::path> value);
    void setFileURL(std::optional<std::filesystem::path> value);
    void setIsDirty(bool value);
    void setSavedProject(std::optional<Project> value);
    void setHistory(std::vector<Project> undo, std::vector<Project> redo);

    // The edit transaction's parts.
    void refreshDirtyState();
    void undoOrRedo(std::vector<Project>& source, std::vector<Project>& target);
    /// The project is too large to open again after `change`; sets `error` when it is.
    bool refusesForLoadLimit(const Project& before, const Project& after);

    // Autosave and recovery.
    void scheduleAutosave();
    /// Cancels the pending autosave and deletes the autosave file; no earlier snapshot lands afterwards.
    void discardAutosave();
    void readAutosaveAtStart();
    void removeAbandonedAutosaveWrites();
    void clearRecoveryOffer();

    // Documents.
    /// Ends everything that belongs to the open document before another replaces it: playback, an
    /// armed recording and its held notes. Leaves the undo history to the caller.
    void endDocumentSession();
    /// Makes `project` the document: history emptied, cursor at the start.
    void installDocument(Project project, bool resetSelectedInstrument);
    void seedDemo();
    void refreshMissingSamples(bool report);
    void replaceWithNewProject(bool demo);

    // Cursor and entry.
    void input(char32_t character);
    void advanceRow();
    /// The current pattern, or none when `patternIndex` lies outside the project.
    const Pattern* currentPattern() const;
    /// Changes the cursor cell of the current pattern as one undo step; nothing when the cursor lies
    /// outside the project.
    void mutateCursorCell(const std::function<void(Cell&, const Project&)>& change);

    // Editing commands.
    /// Changes the current pattern as one undo step (with the project before the change for reading);
    /// nothing when `patternIndex` names no pattern.
    void mutateCurrentPattern(const std::function<void(Pattern&, const Project&)>& change);
    /// Changes the song arrangement and re-derives the order, as one undo step; nothing without one.
    void mutateArrangement(const std::function<void(SongArrangement&)>& change);
    /// A hosted plug-in's settings changed: while an editor is on screen, (re)starts the delayed capture
    /// of every plug-in's state into the project.
    void audioUnitStateChanged();
    /// Publishes the installed plug-ins once they are listed, asking again a little later until then.
    void listAudioUnitComponentsWhenLoaded();
    /// Starts an audio export: `render` runs on a worker, told how to report progress and whether to go
    /// on; it throws on failure.
    void startExport(std::string message, std::function<void(const std::function<bool(double)>& progress)> render);
    /// The worker's result, back on the main thread: none for success or a cancel, else the message.
    void finishExport(const std::shared_ptr<ExportJob>& job, std::optional<std::string> failure);
    void setExportProgress(double value);
    /// Cancels the running export and waits for its worker (the model is going away).
    void endExport();
    /// Makes the song arrangement from the pattern order when the project has none: one block per entry.
    static void ensureSongArrangement(Project& project);
    /// Brings back the window under `key`, or makes one for the unit `unit` gives (which may throw).
    void showAudioUnitEditor(const std::string& key, const std::string& title, const std::function<PluginInstance&()>& unit);

    std::vector<float> samplePeaks(int instrument, int count);
    /// An overview the engine made, kept while the instrument's audio and edit stay as they were: views
    /// ask again on every change of the project, and reading a long sample's frames each time would cost
    /// tens of milliseconds per row.
    struct CachedSamplePeaks {
        InstrumentSource source;
        std::optional<SampleEdit> edit;
        std::vector<float> peaks;
    };
    // Constants.
    QUrl feedbackURL_;
    QUrl websiteURL_;
    std::string version_;

    // Observed state, in the order the views meet it.
    Project project_;
    int patternIndex_ = 0;
    std::optional<int> queuedPatternIndex_;
    int selectedRow_ = 0;
    int selectedTrack_ = 0;
    CellField selectedField_ = CellField::note;
    std::optional<GridPosition> selectionAnchor_;
    int selectedInstrument_ = 0;
    int selectedSongBlock_ = 0;
    int octave_ = 5;
    PlaybackUIState playbackUI_;
    bool isPlaying_ = false;
    bool isPreparingPlayback_ = false;
    bool songMode_ = false;
    bool metronome_ = false;
    bool countIn_ = false;
    bool loopEnabled_ = true;
    bool midiEnabled_ = true;
    bool midiClockSend_ = false;
    bool midiClockReceive_ = false;
    std::optional<double> externalClockBPM_;
    bool recordMIDINoteOff_ = false;
    bool isLiveRecording_ = false;
    LiveRecordMode liveRecordMode_ = LiveRecordMode::step;
    LiveRecordWriteMode liveRecordWriteMode_ = LiveRecordWriteMode::overdub;
    double recordQuantizeStrength_ = 1.0;
    double rowZoom_ = 1.0;
    bool isSampleRecording_ = false;
    bool isExporting_ = false;
    bool isRecoveringAudio_ = false;
    std::string exportMessage_ = "Rendering WAV\u2026";
    MeterState meters_;
    std::optional<std::string> error_;
    std::vector<AudioUnitReference> availableAudioUnitInstruments_;
    std::vector<AudioUnitReference> availableAudioUnitEffects_;
    bool recoveryAvailable_ = false;
    std::set<Uuid> missingSampleInstrumentIDs_;
    std::set<std::string> unavailableAudioUnitIDs_;
    std::optional<std::filesystem::path> recoveryOriginalURL_;
    std::optional<std::filesystem::path> fileURL_;
    bool isDirty_ = false;

    // Private state.
    std::vector<Project> undoStack_;
    std::vector<Project> redoStack_;
    std::optional<Project> savedProject_;
    std::shared_ptr<ScheduledTask> autosaveTask_;
    std::shared_ptr<ScheduledTask> audioUnitStateTask_;
    std::shared_ptr<ScheduledTask> audioUnitListingTask_;
    bool audioUnitComponentsListed_ = false;
    // A report of missing plug-ins asked for before the listing was done, made when it is.
    bool pendingUnavailableReport_ = false;
    std::optional<Project> recoveryProject_;
    std::optional<std::filesystem::path> pendingOpenURL_;
    std::filesystem::path recoveryURL_;
    std::optional<CellBlock> cellClipboard_;
    std::string hexDigits_;

    // Services.
    std::unique_ptr<EngineControl> audio_;
    std::shared_ptr<TaskScheduler> scheduler_;
    std::shared_ptr<DocumentDialogs> dialogs_;
    std::shared_ptr<QSettings> settings_;
    std::function<std::vector<AudioUnitReference>(std::uint32_t)> audioUnitComponents_;
    std::function<bool()> audioUnitComponentsLoaded_;
    std::function<std::pair<int, int>()> midiEndpointCounts_;
    std::shared_ptr<AutosaveWriter> autosaveWriter_; // shared with pending autosave tasks
    std::shared_ptr<AudioUnitEditorWindows> audioUnitEditors_;
    std::shared_ptr<ExportDialogs> exportDialogs_;
    std::shared_ptr<ExportJob> exportJob_; // the running export, shared with its worker
    std::thread exportThread_;
    double exportProgress_ = 0;
    std::unique_ptr<UpdateCommands> updateCommands_;
    std::unique_ptr<SampleRecorder> recorder_;
    std::function<std::optional<std::filesystem::path>(const std::string&)> chooseAudioFile_;
    std::map<std::pair<Uuid, int>, CachedSamplePeaks> samplePeaksCache_; // by instrument and bucket count
    // Before the MIDI connection, so destroyed after it: the connection's events go to the transport.
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<MIDIConnection> midi_; // last, so destroyed first: no event arrives into a model half gone
};

} // namespace veltrane
