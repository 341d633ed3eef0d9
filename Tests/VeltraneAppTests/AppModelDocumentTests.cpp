// New, demo, open and save, the unsaved-changes prompt, missing samples and the diagnostics report.

#include "ModelTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Cell noteCell(int pitch) { return Cell{.note = NotePitch{pitch}, .instrument = 2, .volume = 20}; }

std::filesystem::path writeProject(const ModelHarness& harness, const std::string& name, Project project)
{
    const auto path = harness.folder / (name + ".veltrane");
    writeFile(path, encodeProject(project));
    return path;
}

Instrument sampleAt(const std::filesystem::path& path)
{
    return Instrument::withBookmark(path.stem().string(), Data(bookmarkForPath(path)), path.filename().string());
}

} // namespace

TEST(AppModelDocuments, TheDemoProject)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 1, 5, noteCell(30));
    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::dontSave);
    model.loadDemoProject();

    const auto& pattern = model.project().patterns[0];
    const int notes[] = {60, 63, 67, 70};
    for (int row = 0; row < 64; ++row) {
        Cell track0, track1;
        if (row % 4 == 0) track0 = Cell{.note = NotePitch{notes[(row / 4) % 4]}, .instrument = 2, .volume = 40};
        if (row % 4 == 2) track1 = Cell{.note = NotePitch{48}, .instrument = 0, .volume = 32};
        EXPECT_EQ(pattern.cell(row, 0), track0) << "row " << row;
        EXPECT_EQ(pattern.cell(row, 1), track1) << "row " << row;
    }
    EXPECT_EQ(model.project().name, "Veltrane Demo");
    EXPECT_FALSE(model.isDirty());
    EXPECT_FALSE(model.canUndo());
    EXPECT_FALSE(model.fileURL());
    EXPECT_EQ(harness.engine->applied.back(), model.project());
}

TEST(AppModelDocuments, ACleanDocumentIsReplacedWithoutAsking)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setSelectedInstrument(2);
    model.select(9, 3, std::nullopt, false);
    model.newProject();
    EXPECT_TRUE(harness.dialogs->alerts.empty());
    EXPECT_EQ(model.project().patterns[0].cell(0, 0), Cell{}); // no demo notes
    EXPECT_EQ(model.selectedInstrument(), 0);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_GE(harness.engine->stops, 1);
}

TEST(AppModelDocuments, TheUnsavedChangesAlert)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 1, 5, noteCell(30));

    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::cancel);
    model.newProject();
    ASSERT_EQ(harness.dialogs->alerts.size(), 1u);
    EXPECT_EQ(harness.dialogs->alerts[0].messageText, "Save changes to Untitled?");
    EXPECT_EQ(harness.dialogs->alerts[0].informativeText, "Your changes will be lost if you don\u2019t save them.");
    EXPECT_EQ(harness.dialogs->alerts[0].buttons, (std::array<std::string, 3>{"Save", "Cancel", "Don\u2019t Save"}));
    EXPECT_TRUE(model.isDirty());
    EXPECT_TRUE(model.canUndo());

    // "Save" with the panel cancelled abandons the whole action.
    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::save);
    harness.dialogs->saveAnswers.push_back(std::nullopt);
    model.open();
    EXPECT_EQ(harness.dialogs->openPanels, 0);
    EXPECT_TRUE(model.isDirty());

    // "Save" that completes lets the action go on.
    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::save);
    harness.dialogs->saveAnswers.push_back(harness.folder / "Kept");
    model.newProject();
    EXPECT_TRUE(std::filesystem::exists(harness.folder / "Kept.veltrane"));
    EXPECT_EQ(decodeProject(readFile(harness.folder / "Kept.veltrane")).patterns[0].cell(1, 5), noteCell(30));
    EXPECT_FALSE(model.fileURL());
    EXPECT_FALSE(model.isDirty());
}

TEST(AppModelDocuments, SavingNamesTheProjectAfterItsFileAndLeavesTheHistory)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 1, 5, noteCell(30));
    harness.dialogs->saveAnswers.push_back(harness.folder / "Song.veltrane");
    ASSERT_TRUE(model.save());
    EXPECT_EQ(harness.dialogs->saveSuggestions, std::vector<std::string>{"Untitled.veltrane"});
    EXPECT_EQ(model.project().name, "Song");
    EXPECT_EQ(model.title(), "Song");
    EXPECT_EQ(model.undoStack().size(), 1u); // the rename is no step
    EXPECT_EQ(harness.engine->captures, 1);

    // Saving again goes to the same file without a panel; undo reaches back past the save.
    model.undo();
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(model.project().name, "Untitled");
    ASSERT_TRUE(model.save());
    EXPECT_EQ(model.project().name, "Song");
    EXPECT_EQ(harness.dialogs->saveSuggestions.size(), 1u);
    EXPECT_EQ(decodeProject(readFile(harness.folder / "Song.veltrane")), model.project());
}

TEST(AppModelDocuments, ASavedProjectAlwaysLoadsAgain)
{
    ModelHarness harness;
    auto& model = harness.make();
    // Plug-in states captured at save time are part of what is written and read back.
    harness.engine->capture = [](Project& project) {
        project.instruments.push_back(Instrument::withAudioUnit("JX10", testUnit(0x61756d75, 1, "JX10"),
                                                                Data(std::string_view("state"))));
    };
    model.select(0, 4, CellField::instrument, false);
    model.handleKey({.text = "f"});
    model.handleKey({.text = "f"});
    harness.dialogs->saveAnswers.push_back(harness.folder / "Round.veltrane");
    ASSERT_TRUE(model.save());
    const auto saved = model.project();

    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::dontSave);
    model.newProject();
    ASSERT_TRUE(model.loadProject(harness.folder / "Round.veltrane")) << model.error().value_or("");
    EXPECT_EQ(model.project(), saved);
}

TEST(AppModelDocuments, AFailedSaveKeepsTheDocumentEdited)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 1, 5, noteCell(30));
    harness.dialogs->saveAnswers.push_back(harness.folder / "No folder" / "Song.veltrane");
    EXPECT_FALSE(model.save());
    ASSERT_TRUE(model.error());
    EXPECT_NE(model.error()->find("\u201CSong.veltrane\u201D cannot be written because its folder \u201CNo folder\u201D does not exist"),
              std::string::npos)
        << *model.error();
    EXPECT_TRUE(model.isDirty());
    EXPECT_FALSE(model.fileURL());
    EXPECT_EQ(model.project().name, "Song"); // named in the attempt all the same

    // A project a file cannot carry is refused with the format's own message.
    model.mutate([](Project& project) { project.bpm = std::numeric_limits<double>::infinity(); });
    harness.dialogs->saveAnswers.push_back(harness.folder / "Song.veltrane");
    EXPECT_FALSE(model.save());
    EXPECT_FALSE(std::filesystem::exists(harness.folder / "Song.veltrane"));
}

TEST(AppModelDocuments, LoadingReplacesTheDocumentOrChangesNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project other;
    other.name = "Other";
    other.patterns[0].setCell(0, 0, noteCell(50));
    const auto good = writeProject(harness, "Other", other);
    writeFile(harness.folder / "Broken.veltrane", "{\"version\": 3}");

    editCell(model, 1, 5, noteCell(30));
    model.setSelectedInstrument(3);
    const auto edited = model.project();
    const auto stops = harness.engine->stops;
    EXPECT_FALSE(model.loadProject(harness.folder / "Missing.veltrane"));
    EXPECT_NE(model.error()->find("Missing.veltrane"), std::string::npos) << *model.error();
    EXPECT_FALSE(model.loadProject(harness.folder / "Broken.veltrane"));
    EXPECT_EQ(harness.engine->stops, stops + 2); // playback stops even when the load fails
    EXPECT_EQ(model.project(), edited);
    EXPECT_TRUE(model.canUndo());
    EXPECT_TRUE(model.isDirty());

    editCell(model, 2, 5, noteCell(31));
    harness.scheduler->advance(AppModel::autosaveDelay);
    ASSERT_TRUE(model.loadProject(good));
    model.waitForAutosaveWrite();
    EXPECT_EQ(model.project(), other);
    EXPECT_EQ(model.fileURL(), good);
    EXPECT_FALSE(model.isDirty());
    EXPECT_FALSE(model.canUndo());
    EXPECT_EQ(model.selectedInstrument(), 3); // kept on load
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelDocuments, OpenAsksAboutChangesThenForAFile)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project other;
    other.name = "Other";
    const auto path = writeProject(harness, "Other", other);
    harness.dialogs->openAnswers.push_back(std::nullopt);
    model.open();
    EXPECT_EQ(model.project().name, "Untitled");
    harness.dialogs->openAnswers.push_back(path);
    model.open();
    EXPECT_EQ(model.project(), other);
    EXPECT_EQ(harness.dialogs->openPanels, 2);
}

TEST(AppModelDocuments, ReplacingTheDocumentEndsARecordingArmedOnTheOldOne)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project other;
    other.name = "Other";
    const auto path = writeProject(harness, "Other", other);
    editCell(model, 1, 5, noteCell(30));
    AppModelTestAccess::liveRecordSnapshot(model) = model.project();
    AppModelTestAccess::activeMIDINotes(model)[60] = RecordedMIDINote{.row = 1, .track = 5};
    model.setIsLiveRecording(true);

    ASSERT_TRUE(model.loadProject(path));
    EXPECT_FALSE(model.isLiveRecording());
    EXPECT_FALSE(AppModelTestAccess::liveRecordSnapshot(model));
    EXPECT_TRUE(AppModelTestAccess::activeMIDINotes(model).empty());
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelDocuments, MissingSamplesAreReportedOnLoad)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto present = harness.folder / "kick.wav";
    writeFile(present, "RIFF");
    struct Case {
        int missing;
        const char* message;
    };
    for (const auto& [missing, message] :
         {Case{1, "This project is missing 1 sample. Open Samples and choose Locate."},
          Case{3, "This project is missing 3 samples. Open Samples and choose Locate."}}) {
        Project project;
        project.instruments.push_back(sampleAt(present));
        for (int i = 0; i < missing; ++i) project.instruments.push_back(sampleAt(harness.folder / ("gone" + std::to_string(i) + ".wav")));
        project.instruments.push_back(Instrument{.name = "Elsewhere", .source = SampleSource{Data(std::string_view("other-platform")), "x.wav"}, .sampleEdit = SampleEdit{}});
        model.setError(std::nullopt);
        ASSERT_TRUE(model.loadProject(writeProject(harness, "Samples", project)));
        EXPECT_EQ(model.missingSampleInstrumentIDs().size(), static_cast<std::size_t>(missing + 1));
        EXPECT_FALSE(model.missingSampleInstrumentIDs().contains(model.project().instruments[4].id));
    }
    (void)Case{};
    EXPECT_EQ(model.error(), "This project is missing 4 samples. Open Samples and choose Locate.");
    model.setError(std::nullopt);
    model.newProject(); // new projects never report
    EXPECT_FALSE(model.error());
    EXPECT_TRUE(model.missingSampleInstrumentIDs().empty());
}

TEST(AppModelDocuments, UnavailablePlugInsAreReportedAfterMissingSamples)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project;
    project.instruments.push_back(sampleAt(harness.folder / "gone.wav"));
    project.instruments.push_back(Instrument::withAudioUnit("Zeta", testUnit(0x61756d75, 77, "Zeta"), std::nullopt));
    project.mixer[0].audioUnits = std::vector<AudioUnitSlot>{{.reference = testUnit(0x61756678, 78, "Alpha")},
                                                            {.reference = harness.installed[1]}};
    ASSERT_TRUE(model.loadProject(writeProject(harness, "Units", project)));
    EXPECT_EQ(model.error(), "Unavailable Audio Units will be skipped: Alpha, Zeta.");
    EXPECT_EQ(model.missingSampleInstrumentIDs().size(), 1u);
    EXPECT_EQ(model.unavailableAudioUnitIDs(),
              (std::set<std::string>{testUnit(0x61756d75, 77, "").id(), testUnit(0x61756678, 78, "").id()}));
}

TEST(AppModelDocuments, TheDiagnosticsReport)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto report = model.diagnosticsReport();
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(report.substr(start, end - start));
    }
    lines.push_back(report.substr(start));
    ASSERT_EQ(lines.size(), 8u) << report;
    EXPECT_EQ(lines[0], "Veltrane Development"); // the version of the test build's folder
    EXPECT_EQ(lines[2].rfind("Architecture: ", 0), 0u);
    EXPECT_EQ(lines[3], "Audio sample rate: 48000 Hz");
    EXPECT_EQ(lines[4], "MIDI: 0 inputs, 0 outputs");
    EXPECT_EQ(lines[5], "Audio Units: 1 instruments, 2 effects, 0 unavailable");
    EXPECT_EQ(lines[6], "Project: 1 patterns, 8 tracks, 4 instruments");
    EXPECT_EQ(lines[7], "Project format: 1");
}
