#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/UpdateCommands.hpp"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

using veltrane::UpdateCheckOutcome;
using veltrane::UpdateCheckResult;
using veltrane::UpdateCommands;
using veltrane::UpdateDialogs;
using veltrane::UpdateError;
using veltrane::UpdateFailure;
using veltrane::UpdateInfo;

namespace {

// Checks and installs that wait until the test answers them.
struct ScriptedChecker : veltrane::UpdateChecking {
    std::vector<std::string> versions;
    std::deque<std::function<void(UpdateCheckResult)>> pending;
    void check(const std::string& version, std::function<void(UpdateCheckResult)> done) override
    {
        versions.push_back(version);
        pending.push_back(std::move(done));
    }
    void answer(UpdateCheckResult result)
    {
        ASSERT_FALSE(pending.empty());
        auto done = std::move(pending.front());
        pending.pop_front();
        done(std::move(result));
    }
};

struct ScriptedInstaller : veltrane::UpdateInstalling {
    std::vector<UpdateInfo> installed;
    std::function<void(std::optional<UpdateFailure>)> pending;
    void install(const UpdateInfo& update, std::function<void(std::optional<UpdateFailure>)> done) override
    {
        installed.push_back(update);
        pending = std::move(done);
    }
};

struct ScriptedDialogs : UpdateDialogs {
    std::deque<Choice> choices;
    QStringList shown; // "message | informative text", in order
    Choice askToUpdate(const QString& message, const QString& informativeText) override
    {
        shown << message + " | " + informativeText;
        const Choice choice = choices.empty() ? Choice::later : choices.front();
        if (!choices.empty())
            choices.pop_front();
        return choice;
    }
    void inform(const QString& message, const QString& informativeText) override
    {
        shown << message + " | " + informativeText;
    }
};

const UpdateInfo kUpdate{.version = "1.3", .downloadURL = "https://h/1.3.zip", .notes = "Notes."};
const UpdateCheckResult kFound{.outcome = UpdateCheckOutcome::updateAvailable, .update = kUpdate};
const UpdateCheckResult kUpToDate{.outcome = UpdateCheckOutcome::upToDate};
const UpdateCheckResult kFailed{.outcome = UpdateCheckOutcome::failed};
const QString kPrompt = "A new version of Veltrane is available | Version 1.3 is ready. Veltrane will update itself "
                        "and relaunch.";

class UpdateCommandsTest : public QtApplicationTest {
protected:
    std::unique_ptr<UpdateCommands> makeCommands(std::string version = "1.2")
    {
        return std::make_unique<UpdateCommands>(
            UpdateCommands::Services{.checker = checker,
                                     .installer = installer,
                                     .dialogs = dialogs,
                                     .settings = settings,
                                     .isBusy = [this] { return busy; },
                                     .quitApplication = [this] { ++quits; }},
            std::move(version));
    }

    QTemporaryDir folder;
    QSettings settings{folder.filePath("settings.ini"), QSettings::IniFormat};
    ScriptedChecker checker;
    ScriptedInstaller installer;
    std::shared_ptr<ScriptedDialogs> dialogs = std::make_shared<ScriptedDialogs>();
    bool busy = false;
    int quits = 0;
};

} // namespace

TEST_F(UpdateCommandsTest, TheLaunchCheckPromptsAndRemembersLater)
{
    auto commands = makeCommands();
    commands->checkForUpdate();
    EXPECT_EQ(checker.versions, std::vector<std::string>{"1.2"});
    checker.answer(kFound);
    EXPECT_EQ(commands->availableUpdate(), kUpdate);
    EXPECT_EQ(dialogs->shown, QStringList{kPrompt});
    EXPECT_EQ(settings.value(UpdateCommands::kPromptedVersionKey).toString(), "1.3");
    EXPECT_TRUE(installer.installed.empty());

    // The next launch does not ask again for the same version, but does for a newer one.
    commands = makeCommands();
    commands->checkForUpdate();
    checker.answer(kFound);
    EXPECT_EQ(commands->availableUpdate(), kUpdate);
    EXPECT_EQ(dialogs->shown.size(), 1);
    commands->checkForUpdate();
    checker.answer({.outcome = UpdateCheckOutcome::updateAvailable, .update = UpdateInfo{.version = "1.4"}});
    EXPECT_EQ(dialogs->shown.size(), 2);
    EXPECT_TRUE(dialogs->shown.last().contains("Version 1.4 is ready."));

    // The menu's "Update to" still asks for the declined version.
    commands->promptForUpdate();
    EXPECT_EQ(dialogs->shown.size(), 3);
}

TEST_F(UpdateCommandsTest, TheLaunchCheckNeverInterruptsBusyWorkNorReportsAFailure)
{
    auto commands = makeCommands();
    busy = true;
    commands->checkForUpdate();
    checker.answer(kFound);
    EXPECT_EQ(commands->availableUpdate(), kUpdate) << "the menu offers it later";
    commands->promptForUpdate();
    EXPECT_TRUE(dialogs->shown.isEmpty());
    EXPECT_FALSE(settings.contains(UpdateCommands::kPromptedVersionKey));

    busy = false;
    commands->checkForUpdate();
    checker.answer(kFailed);
    EXPECT_EQ(commands->availableUpdate(), kUpdate) << "a check that failed tells nothing new";
    EXPECT_TRUE(dialogs->shown.isEmpty());
    commands->checkForUpdate();
    checker.answer(kUpToDate);
    EXPECT_EQ(commands->availableUpdate(), std::nullopt);
    EXPECT_TRUE(dialogs->shown.isEmpty());
}

TEST_F(UpdateCommandsTest, TheManualCheckSaysWhatItFoundOrThatItCouldNotCheck)
{
    settings.setValue(UpdateCommands::kPromptedVersionKey, "1.3");
    auto commands = makeCommands("1.2");
    int checkingChanges = 0;
    QObject::connect(commands.get(), &UpdateCommands::isCheckingForUpdateChanged, [&] { ++checkingChanges; });

    const struct {
        UpdateCheckResult result;
        QString shown;
    } kCases[] = {
        {kFailed, "Couldn't check for updates | Veltrane couldn't find out whether a newer version is available. "
                  "Try again later."},
        {kUpToDate, "You're up to date | Veltrane 1.2 is the latest version."},
        {kFound, kPrompt}, // even for the version declined before
    };
    for (const auto& [result, shown] : kCases) {
        dialogs->shown.clear();
        commands->checkForUpdatesManually();
        EXPECT_TRUE(commands->isCheckingForUpdate());
        commands->checkForUpdatesManually(); // ignored while one runs
        EXPECT_EQ(checker.pending.size(), 1u);
        checker.answer(result);
        EXPECT_FALSE(commands->isCheckingForUpdate());
        EXPECT_EQ(dialogs->shown, QStringList{shown});
    }
    EXPECT_EQ(checkingChanges, 6);
}

TEST_F(UpdateCommandsTest, TheManualCheckFindingAnUpdateWhileRecordingShowsNothing)
{
    auto commands = makeCommands();
    busy = true;
    commands->checkForUpdatesManually();
    checker.answer(kFound);
    EXPECT_EQ(commands->availableUpdate(), kUpdate);
    EXPECT_TRUE(dialogs->shown.isEmpty());
}

TEST_F(UpdateCommandsTest, UpdateNowInstallsThenQuitsAndStaysUpdating)
{
    auto commands = makeCommands();
    commands->checkForUpdate();
    dialogs->choices = {UpdateDialogs::Choice::updateNow};
    checker.answer(kFound);
    ASSERT_EQ(installer.installed, std::vector<UpdateInfo>{kUpdate});
    EXPECT_TRUE(commands->isUpdating());
    EXPECT_FALSE(settings.contains(UpdateCommands::kPromptedVersionKey));
    installer.pending(std::nullopt);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(commands->isUpdating());

    // The user cancelled the quit: nothing more happens in this run.
    commands->checkForUpdatesManually();
    commands->promptForUpdate();
    EXPECT_TRUE(checker.pending.empty());
    EXPECT_EQ(dialogs->shown.size(), 1);
    EXPECT_EQ(installer.installed.size(), 1u);
}

TEST_F(UpdateCommandsTest, AnInstallThatFinishesWhileAnExportRunsQuitsOnlyWhenItHasEnded)
{
    auto commands = makeCommands();
    commands->checkForUpdate();
    dialogs->choices = {UpdateDialogs::Choice::updateNow};
    checker.answer(kFound);
    ASSERT_EQ(installer.installed.size(), 1u);
    busy = true; // an export started while the update downloaded
    installer.pending(std::nullopt);
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(runUntil([&] { return quits > 0; }, 3 * UpdateCommands::kIdlePollMilliseconds));
    EXPECT_TRUE(commands->isUpdating());
    commands->promptForUpdate();
    EXPECT_EQ(installer.installed.size(), 1u) << "no second install while it waits";

    busy = false;
    EXPECT_TRUE(runUntil([&] { return quits > 0; }));
    runUntil([] { return false; }, 2 * UpdateCommands::kIdlePollMilliseconds); // time for a second quit, if any
    EXPECT_EQ(quits, 1) << "asked once";
}

TEST_F(UpdateCommandsTest, AFailedInstallSaysWhyAndOffersTheUpdateAgain)
{
    const struct {
        UpdateFailure failure;
        QString shown;
    } kCases[] = {
        {{UpdateError::readOnlyLocation}, "Move Veltrane to a folder you own | Veltrane can update itself after it "
                                          "has been moved to a folder you can write to, such as one in your home "
                                          "folder."},
        {{UpdateError::badSignature}, "Update failed | Couldn't install the update. Download the latest version from "
                                      + veltrane::updateDownloadPage() + "."},
        {{std::nullopt, "No route to host"}, "Update failed | Couldn't install the update. Download the latest "
                                             "version from " + veltrane::updateDownloadPage() + "."},
    };
    auto commands = makeCommands();
    commands->checkForUpdate();
    checker.answer(kFound);
    for (const auto& [failure, shown] : kCases) {
        dialogs->shown.clear();
        dialogs->choices = {UpdateDialogs::Choice::updateNow};
        commands->promptForUpdate();
        ASSERT_TRUE(commands->isUpdating());
        installer.pending(failure);
        EXPECT_FALSE(commands->isUpdating());
        EXPECT_EQ(dialogs->shown, QStringList({kPrompt, shown}));
        EXPECT_EQ(commands->availableUpdate(), kUpdate);
    }
    EXPECT_EQ(quits, 0);
}

TEST_F(UpdateCommandsTest, CommandsThatAreGoneIgnoreLateChecksButStillReportAFailedInstall)
{
    auto commands = makeCommands();
    commands->checkForUpdate();
    commands.reset();
    checker.answer(kFound);
    EXPECT_TRUE(dialogs->shown.isEmpty());

    commands = makeCommands();
    commands->checkForUpdate();
    dialogs->choices = {UpdateDialogs::Choice::updateNow};
    checker.answer(kFound);
    commands.reset();
    installer.pending(UpdateFailure{UpdateError::download});
    EXPECT_EQ(dialogs->shown.last().left(13), "Update failed");
}
