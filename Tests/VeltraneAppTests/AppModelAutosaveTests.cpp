// Autosave after the last edit, and the recovery offered at the next start.

#include "ModelTestSupport.hpp"

#include "Veltrane/Model/RecoverySnapshot.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <nlohmann/json.hpp>

#include <atomic>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Cell noteCell(int pitch) { return Cell{.note = NotePitch{pitch}, .instrument = 1, .volume = 30}; }

/// The project a snapshot file offers, read as the next start reads it.
std::optional<RecoverySnapshot> snapshotOnDisk(const ModelHarness& harness)
{
    return decodeRecoverySnapshot(readFile(harness.autosavePath()));
}

} // namespace

TEST(AppModelAutosave, ABurstOfEditsWritesOneSnapshotHalfASecondAfterTheLast)
{
    ModelHarness harness;
    auto& model = harness.make();
    std::atomic<int> writes = 0;
    model.setOnAutosaveWritten([&](const Project&) { ++writes; });

    editCell(model, 0, 3, noteCell(60));
    harness.scheduler->advance(std::chrono::milliseconds(300));
    editCell(model, 1, 3, noteCell(62));
    harness.scheduler->advance(std::chrono::milliseconds(499));
    model.waitForAutosaveWrite();
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));

    harness.scheduler->advance(std::chrono::milliseconds(1));
    model.waitForAutosaveWrite();
    EXPECT_EQ(writes.load(), 1);
    const auto snapshot = snapshotOnDisk(harness);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->project, model.project());
    EXPECT_FALSE(snapshot->originalFile);
}

TEST(AppModelAutosave, TheSnapshotIsCompactJsonNamingTheDocumentFile)
{
    ModelHarness harness;
    auto& model = harness.make();
    editCell(model, 0, 3, noteCell(60));
    harness.passAutosaveDelay();
    auto text = readFile(harness.autosavePath());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    auto json = nlohmann::json::parse(text);
    EXPECT_FALSE(json.contains("originalFilePath"));
    EXPECT_EQ(projectFromJson(json["project"]), model.project());

    const auto file = harness.folder / "Song.veltrane";
    harness.dialogs->saveAnswers.push_back(file);
    ASSERT_TRUE(model.save());
    editCell(model, 2, 3, noteCell(64));
    harness.passAutosaveDelay();
    json = nlohmann::json::parse(readFile(harness.autosavePath()));
    EXPECT_EQ(json["originalFilePath"], file.string());
}

TEST(AppModelAutosave, AnEditUndoneWithinTheDelayWritesNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    writeFile(harness.autosavePath(), "an older snapshot");
    editCell(model, 0, 3, noteCell(60));
    harness.scheduler->advance(std::chrono::milliseconds(200));
    model.undo();
    harness.passAutosaveDelay();
    harness.scheduler->advance(std::chrono::seconds(2));
    model.waitForAutosaveWrite();
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelAutosave, NoSnapshotReappearsAfterASave)
{
    // The write may already be under way on the writer's thread when the save lands; it must not land
    // after it.
    ModelHarness harness;
    auto& model = harness.make();
    harness.dialogs->saveAnswers.push_back(harness.folder / "Song.veltrane");
    for (int attempt = 0; attempt < 20; ++attempt) {
        editCell(model, attempt % 64, 2, noteCell(40 + attempt));
        harness.scheduler->advance(AppModel::autosaveDelay); // the writer starts now
        ASSERT_TRUE(model.save());
        model.waitForAutosaveWrite();
        EXPECT_FALSE(std::filesystem::exists(harness.autosavePath())) << "attempt " << attempt;
    }
}

TEST(AppModelAutosave, TheNextStartOffersWhatWasAutosaved)
{
    ModelHarness harness;
    const auto original = harness.folder / "Song.veltrane";
    {
        auto& model = harness.make();
        harness.dialogs->saveAnswers.push_back(original);
        ASSERT_TRUE(model.save());
        editCell(model, 5, 2, noteCell(70));
        harness.passAutosaveDelay();
    }
    auto& model = harness.make(true);
    EXPECT_TRUE(model.recoveryAvailable());
    EXPECT_EQ(model.recoveryOriginalURL(), original);
    EXPECT_TRUE(model.recoveryOriginalAvailable());
    EXPECT_FALSE(model.isDirty()); // the clean demo stays open under the offer
    EXPECT_EQ(model.title(), "Untitled");
}

TEST(AppModelAutosave, WhatTheStartOffersFromTheAutosaveFile)
{
    Project tooNew;
    tooNew.version = 2;
    Project broken; // a cell naming an instrument the project does not have
    broken.patterns[0].setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 9});
    Project plain;
    plain.name = "Plain";

    struct Case {
        const char* what;
        std::string bytes;
        bool offered;
        bool withOriginal;
    };
    const std::vector<Case> cases{
        {"a snapshot", encodeRecoverySnapshot(plain, std::filesystem::path("/nowhere/Song.veltrane")), true, true},
        {"a bare project", encodeProject(plain), true, false},
        {"a bare project of an unsupported version", [&] {
             auto text = encodeProject(plain);
             text.replace(text.find("\"version\": 1"), 12, "\"version\": 7");
             return text;
         }(), false, false},
        {"a snapshot of an unsupported version", encodeRecoverySnapshot(tooNew, std::nullopt), false, false},
        {"a snapshot that no repair can mend", encodeRecoverySnapshot(broken, std::nullopt), false, false},
        {"no JSON at all", "not a project", false, false},
        {"an empty file", "", false, false},
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        writeFile(harness.autosavePath(), c.bytes);
        auto& model = harness.make(true);
        EXPECT_EQ(model.recoveryAvailable(), c.offered) << c.what;
        EXPECT_EQ(model.recoveryOriginalURL().has_value(), c.withOriginal) << c.what;
        if (c.offered) {
            model.recoverAutosave();
            EXPECT_EQ(model.project().name, "Plain") << c.what;
        }
    }
}

TEST(AppModelAutosave, RecoveringInstallsTheAutosavedProjectOverItsOriginal)
{
    ModelHarness harness;
    const auto original = harness.folder / "Song.veltrane";
    Project saved;
    saved.name = "Song";
    writeFile(original, encodeProject(saved));
    Project edited = saved;
    edited.patterns[0].setCell(3, 3, noteCell(72));
    writeFile(harness.autosavePath(), encodeRecoverySnapshot(edited, original));

    auto& model = harness.make(true);
    model.setSelectedInstrument(3);
    model.select(7, 2, std::nullopt, false);
    model.setPendingOpenURL(harness.folder / "Other.veltrane");
    model.recoverAutosave();

    EXPECT_EQ(model.project(), edited);
    EXPECT_EQ(model.fileURL(), original);
    ASSERT_TRUE(model.savedProject());
    EXPECT_EQ(*model.savedProject(), saved);
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(model.title(), "Song \u2014 Edited");
    EXPECT_FALSE(model.canUndo());
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.selectedInstrument(), 0);
    EXPECT_FALSE(model.recoveryAvailable());
    EXPECT_FALSE(model.pendingOpenURL()); // dropped, not opened
    EXPECT_EQ(model.recoveryOriginalURL(), original);
    EXPECT_EQ(harness.engine->applied.back(), edited);
    EXPECT_TRUE(std::filesystem::exists(harness.autosavePath())); // until the next change, save or discard

    // Undoing nothing and saving: the original file takes the recovered edits.
    ASSERT_TRUE(model.save());
    EXPECT_EQ(decodeProject(readFile(original)), model.project());
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelAutosave, RecoveryWithoutItsOriginalStaysEditedUntilSaved)
{
    ModelHarness harness;
    Project edited;
    edited.name = "Lost";
    writeFile(harness.autosavePath(), encodeRecoverySnapshot(edited, harness.folder / "Gone.veltrane"));
    auto& model = harness.make(true);
    EXPECT_FALSE(model.recoveryOriginalAvailable());
    model.openRecoveryOriginal(); // not offered: does nothing
    EXPECT_TRUE(model.recoveryAvailable());

    model.recoverAutosave();
    EXPECT_FALSE(model.savedProject());
    EXPECT_TRUE(model.isDirty());
    model.mutate([](Project&) {});
    EXPECT_TRUE(model.isDirty()); // nothing is clean without a saved copy
}

TEST(AppModelAutosave, OpeningTheOriginalKeepsTheOfferUntilItLoads)
{
    ModelHarness harness;
    const auto original = harness.folder / "Song.veltrane";
    writeFile(original, "damaged");
    Project edited;
    edited.name = "Song";
    writeFile(harness.autosavePath(), encodeRecoverySnapshot(edited, original));
    auto& model = harness.make(true);
    ASSERT_TRUE(model.recoveryOriginalAvailable());

    model.openRecoveryOriginal();
    EXPECT_TRUE(model.error());
    EXPECT_TRUE(model.recoveryAvailable()); // both choices stay
    EXPECT_TRUE(model.recoveryOriginalAvailable());
    EXPECT_TRUE(std::filesystem::exists(harness.autosavePath()));

    Project repaired;
    repaired.name = "Song";
    writeFile(original, encodeProject(repaired));
    model.openRecoveryOriginal();
    EXPECT_FALSE(model.recoveryAvailable());
    EXPECT_EQ(model.project(), repaired);
    EXPECT_EQ(model.fileURL(), original);
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
}

TEST(AppModelAutosave, DiscardingOpensTheDocumentParkedMeanwhile)
{
    ModelHarness harness;
    const auto parked = harness.folder / "Parked.veltrane";
    Project parkedProject;
    parkedProject.name = "Parked";
    writeFile(parked, encodeProject(parkedProject));
    writeFile(harness.autosavePath(), encodeRecoverySnapshot(Project{}, std::nullopt));
    auto& model = harness.make(true);
    model.setPendingOpenURL(parked);

    model.discardRecovery(); // no unsaved-changes question: the scripted prompts would fail the test
    EXPECT_FALSE(model.recoveryAvailable());
    EXPECT_FALSE(model.recoveryOriginalURL());
    EXPECT_FALSE(std::filesystem::exists(harness.autosavePath()));
    EXPECT_EQ(model.project(), parkedProject);
    EXPECT_TRUE(harness.dialogs->alerts.empty());
}

TEST(AppModelAutosave, TheStartClearsWritesACrashCutShort)
{
    ModelHarness harness;
    writeFile(harness.folder / ".Autosave.veltrane.Xy12Ab", "half a snapshot");
    writeFile(harness.folder / ".Autosave.veltrane.notmine", "kept");
    writeFile(harness.folder / "Song.veltrane", "kept");
    harness.make();
    EXPECT_FALSE(std::filesystem::exists(harness.folder / ".Autosave.veltrane.Xy12Ab"));
    EXPECT_TRUE(std::filesystem::exists(harness.folder / ".Autosave.veltrane.notmine"));
    EXPECT_TRUE(std::filesystem::exists(harness.folder / "Song.veltrane"));
}
