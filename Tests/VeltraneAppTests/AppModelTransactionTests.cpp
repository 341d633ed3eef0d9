// The model's edit transaction, undo and redo, the unsaved-changes state and the editor state around it.

#include "ModelChildProcess.hpp"
#include "ModelTestSupport.hpp"

#include "Veltrane/Model/RecoverySnapshot.hpp"

#include <QSignalSpy>

#include <cmath>
#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Cell noteCell(int pitch) { return Cell{.note = NotePitch{pitch}, .instrument = 0, .volume = 40}; }

} // namespace

TEST(AppModelTransaction, StartsCleanOnTheDemoWithItsDefaults)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_FALSE(model.isDirty());
    EXPECT_EQ(model.title(), "Untitled");
    EXPECT_EQ(model.octave(), 5);
    EXPECT_TRUE(model.loopEnabled());
    EXPECT_TRUE(model.midiEnabled());
    EXPECT_EQ(model.recordQuantizeStrength(), 1.0);
    EXPECT_EQ(model.exportMessage(), "Rendering WAV\u2026");
    EXPECT_EQ(model.selectedField(), CellField::note);
    EXPECT_FALSE(model.canUndo());
    EXPECT_EQ(model.version(), "Development"); // the test build's folder declares no version
    EXPECT_EQ(model.websiteURL().path(), QStringLiteral("/veltrane/"));
    EXPECT_EQ(model.feedbackURL().query(), QStringLiteral("app=veltrane"));
    EXPECT_EQ(model.meters().tracks.size(), 32u);
    EXPECT_FALSE(model.playbackUI().row);
    EXPECT_FALSE(model.availableUpdate());
    EXPECT_FALSE(model.isUpdating());
    ASSERT_TRUE(model.savedProject());
    EXPECT_EQ(*model.savedProject(), model.project());
    // The installed plug-ins: instruments, then effects followed by music effects.
    ASSERT_EQ(model.availableAudioUnitInstruments().size(), 1u);
    ASSERT_EQ(model.availableAudioUnitEffects().size(), 2u);
    EXPECT_EQ(model.availableAudioUnitEffects()[0].name, "Delay");
    EXPECT_EQ(model.availableAudioUnitEffects()[1].name, "Vocoder");
}

TEST(AppModelTransaction, KeepsAtMostAHundredUndoSteps)
{
    ModelHarness harness;
    auto& model = harness.make();
    for (int step = 0; step < 101; ++step) editCell(model, step % 64, 3, noteCell(step));
    const Project afterFirst = model.undoStack()[0];
    EXPECT_EQ(model.undoStack().size(), 100u);

    while (model.canUndo()) model.undo();
    EXPECT_EQ(model.project().patterns[0].cell(0, 3), noteCell(0)); // the first edit stays
    EXPECT_EQ(model.project(), afterFirst);
    EXPECT_EQ(model.redoStack().size(), 100u);
}

TEST(AppModelTransaction, AnEditThatChangesNothingIsStillAStep)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 0, 5, noteCell(60));
    model.undo();
    ASSERT_TRUE(model.canRedo());
    QSignalSpy projectChanges(&model, &AppModel::projectChanged);
    const auto applies = harness.engine->applied.size();

    model.mutate([](Project&) {});

    EXPECT_EQ(projectChanges.count(), 1);
    EXPECT_EQ(model.undoStack().size(), 1u);
    EXPECT_FALSE(model.canRedo());
    EXPECT_FALSE(model.isDirty());
    EXPECT_EQ(harness.engine->applied.size(), applies + 1);
    model.redo(); // nothing to redo
    EXPECT_FALSE(model.canRedo());
}

TEST(AppModelTransaction, UndoWithNothingToUndoChangesNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 0, 5, noteCell(60));
    model.undo();
    const auto project = model.project();
    model.undo();
    EXPECT_EQ(model.project(), project);
    EXPECT_EQ(model.redoStack().size(), 1u);
    EXPECT_FALSE(model.isDirty());
}

TEST(AppModelTransaction, TheEngineHearsEveryEditUndoAndRedo)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 1, 1, noteCell(61));
    ASSERT_FALSE(harness.engine->applied.empty());
    EXPECT_EQ(harness.engine->applied.back(), model.project());
    model.undo();
    EXPECT_EQ(harness.engine->applied.back(), model.project());
    model.redo();
    EXPECT_EQ(harness.engine->applied.back().patterns[0].cell(1, 1), noteCell(61));
}

TEST(AppModelTransaction, UndoingBackToTheSavedProjectMakesItCleanAndDropsTheAutosave)
{
    ModelHarness harness;
    auto& model = harness.make();
    writeFile(harness.autosavePath(), "left over");
    // The model's own loops (the meter polling) wait on the scheduler too; count the autosave beside them.
    const auto loops = harness.scheduler->pendingCount();
    editCell(model, 0, 4, noteCell(64));
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(model.title(), "Untitled \u2014 Edited");
    EXPECT_EQ(harness.scheduler->pendingCount(), loops + 1);

    model.undo();
    EXPECT_FALSE(model.isDirty());
    EXPECT_EQ(harness.scheduler->pendingCount(), loops);
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));

    model.redo();
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(harness.scheduler->pendingCount(), loops + 1);
    harness.passAutosaveDelay();
    EXPECT_TRUE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelTransaction, TheSelectionSpansAnchorAndCursor)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_FALSE(model.selection());
    model.select(10, 3, std::nullopt, false);
    model.select(2, 5, std::nullopt, true);
    EXPECT_EQ(model.selectionAnchor(), (GridPosition{10, 3}));
    EXPECT_EQ(model.selection(), (CellRange{.startRow = 2, .startTrack = 3, .endRow = 10, .endTrack = 5}));
    model.select(4, 4, std::nullopt, false);
    EXPECT_FALSE(model.selection());
}

TEST(AppModelTransaction, RowZoomIsReadWithinItsLimitsAndWrittenAsSet)
{
    const std::vector<std::pair<std::optional<double>, double>> cases{
        {std::nullopt, 1.0}, {0.0, 1.0}, {0.3, 0.65}, {5.0, 1.8}, {1.2, 1.2},
        {std::numeric_limits<double>::quiet_NaN(), 1.8},
    };
    for (const auto& [stored, expected] : cases) {
        ModelHarness harness;
        if (stored) harness.settings->setValue(AppModel::rowZoomKey, *stored);
        EXPECT_EQ(harness.make().rowZoom(), expected) << (stored ? std::to_string(*stored) : "absent");
    }

    ModelHarness harness;
    auto& model = harness.make();
    QSignalSpy zoomChanges(&model, &AppModel::rowZoomChanged);
    model.setRowZoom(2.5);
    EXPECT_EQ(model.rowZoom(), 2.5);
    EXPECT_EQ(harness.settings->value(AppModel::rowZoomKey).toDouble(), 2.5);
    harness.settings->setValue(AppModel::rowZoomKey, 1.0);
    model.setRowZoom(2.5); // the same value is written all the same
    EXPECT_EQ(harness.settings->value(AppModel::rowZoomKey).toDouble(), 2.5);
    EXPECT_EQ(zoomChanges.count(), 1);
    EXPECT_EQ(harness.make().rowZoom(), 1.8);
}

TEST(AppModelTransaction, PropertiesNotifyOnlyWhenTheyChange)
{
    ModelHarness harness;
    auto& model = harness.make();
    QSignalSpy octaveChanges(&model, &AppModel::octaveChanged);
    QSignalSpy projectChanges(&model, &AppModel::projectChanged);
    model.setOctave(5);
    model.setOctave(6);
    model.setOctave(6);
    EXPECT_EQ(octaveChanges.count(), 1);
    model.setProject(model.project());
    EXPECT_EQ(projectChanges.count(), 0);
    // A direct assignment records no step, reaches no engine and leaves the unsaved-changes state.
    const auto applies = harness.engine->applied.size();
    Project renamed = model.project();
    renamed.name = "Song";
    model.setProject(renamed);
    EXPECT_EQ(projectChanges.count(), 1);
    EXPECT_FALSE(model.canUndo());
    EXPECT_FALSE(model.isDirty());
    EXPECT_EQ(harness.engine->applied.size(), applies);
}

TEST(AppModelTransaction, CellFieldRawValues)
{
    for (int raw = 0; raw < 5; ++raw) EXPECT_EQ(toRawValue(*cellFieldFromRawValue(raw)), raw);
    EXPECT_FALSE(cellFieldFromRawValue(5));
    EXPECT_FALSE(cellFieldFromRawValue(-1));
    EXPECT_EQ(label(CellField::effect2), "FX 2");
}

TEST(AppModelTransaction, WithoutRecoveryTheAutosaveIsNotReadButStillDeletedWhenClean)
{
    ModelHarness harness;
    Project project;
    project.name = "Left over";
    writeFile(harness.autosavePath(), encodeRecoverySnapshot(project, std::nullopt));
    auto& model = harness.make(false);
    EXPECT_FALSE(model.recoveryAvailable());
    EXPECT_TRUE(std::filesystem::exists(harness.autosavePath()));
    editCell(model, 0, 6, noteCell(50));
    model.undo();
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelTransaction, RefusesAnEditThatWouldMakeTheProjectUnloadable)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto unit = harness.installed[1];
    auto addSlots = [&](int count) {
        return model.mutate([&](Project& project) {
            auto& chain = project.mixer[2].audioUnits;
            if (!chain) chain.emplace();
            for (int i = 0; i < count; ++i) chain->push_back(AudioUnitSlot{.reference = unit});
        });
    };
    EXPECT_TRUE(addSlots(8));
    const auto before = model.project();
    const auto steps = model.undoStack().size();

    EXPECT_FALSE(addSlots(1));
    EXPECT_EQ(model.project(), before);
    EXPECT_EQ(model.undoStack().size(), steps);
    ASSERT_TRUE(model.error());
    EXPECT_NE(model.error()->find("This change was not made"), std::string::npos) << *model.error();
    EXPECT_NE(model.error()->find("track 3"), std::string::npos) << *model.error();

    // An edit elsewhere in a project that fits is never refused.
    model.setError(std::nullopt);
    EXPECT_TRUE(model.mutate([](Project& project) { project.bpm = 90; }));
    EXPECT_FALSE(model.error());
}

TEST(AppModelTransaction, TheVersionIsTheOneTheRunningApplicationsFolderDeclares)
{
    TemporaryFolder home;
    TemporaryFolder installed;
    const auto program = installed.path() / "veltrane-model";
    std::filesystem::copy_file(VELTRANE_MODEL_CHILD, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    writeFile(installed.path() / "bundle-info.json", "{\"identifier\": \"com.tavix.veltrane\", \"version\": \"3.2.1\"}\n");

    Child inBundle("version", home.path(), program.string());
    EXPECT_EQ(inBundle.readLine(), "version 3.2.1");
    EXPECT_EQ(inBundle.wait(), 0);
    Child inBuildFolder("version", home.path());
    EXPECT_EQ(inBuildFolder.readLine(), "version Development");
    EXPECT_EQ(inBuildFolder.wait(), 0);
}
