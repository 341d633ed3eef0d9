// The model shows the update commands' state as its own and starts the check at launch.

#include "ModelTestSupport.hpp"

#include <QSignalSpy>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

struct WaitingChecker : UpdateChecking {
    std::vector<std::string> versions;
    std::function<void(UpdateCheckResult)> pending;
    void check(const std::string& version, std::function<void(UpdateCheckResult)> done) override
    {
        versions.push_back(version);
        pending = std::move(done);
    }
};

struct NoInstaller : UpdateInstalling {
    void install(const UpdateInfo&, std::function<void(std::optional<UpdateFailure>)>) override
    {
        ADD_FAILURE() << "nothing may be installed";
    }
};

struct CountingUpdateDialogs : UpdateDialogs {
    int prompts = 0;
    Choice askToUpdate(const QString&, const QString&) override
    {
        ++prompts;
        return Choice::later;
    }
    void inform(const QString&, const QString&) override {}
};

} // namespace

TEST(AppModelUpdates, TheLaunchCheckFillsTheModelsAvailableUpdateAndWaitsWhileBusy)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_FALSE(model.availableUpdate());

    WaitingChecker checker;
    NoInstaller installer;
    auto dialogs = std::make_shared<CountingUpdateDialogs>();
    model.setUpdateCommands(std::make_unique<UpdateCommands>(
        UpdateCommands::Services{.checker = checker,
                                 .installer = installer,
                                 .dialogs = dialogs,
                                 .settings = *harness.settings,
                                 .isBusy = [&model] { return model.isBusy(); },
                                 .quitApplication = [] {}},
        model.version()));
    EXPECT_EQ(checker.versions, std::vector<std::string>{model.version()});

    QSignalSpy updates(&model, &AppModel::availableUpdateChanged);
    model.setIsExporting(true); // quitting now would lose the export: no prompt
    const UpdateInfo update{.version = "9.0", .downloadURL = "https://example.invalid/9.0.zip", .notes = ""};
    checker.pending(UpdateCheckResult{.outcome = UpdateCheckOutcome::updateAvailable, .update = update});
    EXPECT_EQ(model.availableUpdate(), update);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_EQ(dialogs->prompts, 0);
    EXPECT_FALSE(model.isUpdating());
}

TEST(AppModelUpdates, EveryKindOfWorkInProgressMakesTheModelBusy)
{
    ModelHarness harness;
    auto& model = harness.make();
    EXPECT_FALSE(model.isBusy());
    const std::vector<std::pair<const char*, void (AppModel::*)(bool)>> kinds{
        {"playing", &AppModel::setIsPlaying},
        {"preparing playback", &AppModel::setIsPreparingPlayback},
        {"exporting", &AppModel::setIsExporting},
        {"recording audio", &AppModel::setIsSampleRecording},
        {"recording MIDI", &AppModel::setIsLiveRecording}};
    for (const auto& [what, set] : kinds) {
        (model.*set)(true);
        EXPECT_TRUE(model.isBusy()) << what;
        (model.*set)(false);
        EXPECT_FALSE(model.isBusy()) << what;
    }
}
