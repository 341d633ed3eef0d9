#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Tracker/EditingToolsBar.hpp"
#include "Veltrane/Views/Tracker/PatternHeaderStrip.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"
#include "Veltrane/Views/Tracker/TrackerPatternGrid.hpp"
#include "Veltrane/Views/Transport/TransportBar.hpp"
#include "Veltrane/Views/Window/ApplicationOptions.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"
#include "Veltrane/Views/Window/ProgressOverlay.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSplitter>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class MainWindowTest : public WidgetTest {
protected:
    MainWindow& open()
    {
        AppModel& model = harness.make();
        window = std::make_unique<MainWindow>(model, MainWindowOptions{.midiSources = [] { return 0; }});
        window->presentError = [this](const QString& message) { errors << message; };
        window->show();
        settle();
        return *window;
    }

    void edit() { editCell(*harness.model, 0, 0, Cell{.note = NotePitch{60}}); }

    ModelHarness harness;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
};

} // namespace

TEST_F(MainWindowTest, LaysOutThreeColumnsAtTheirSizes)
{
    MainWindow& w = open();
    EXPECT_EQ(w.minimumSize(), QSize(1040, 650));
    ASSERT_EQ(w.columns()->count(), 3);
    EXPECT_EQ(w.sidebar()->minimumWidth(), 175);
    EXPECT_EQ(w.sidebar()->maximumWidth(), 260);
    EXPECT_EQ(w.tracker()->minimumWidth(), 600);
    EXPECT_EQ(w.inspector()->minimumWidth(), 235);
    EXPECT_EQ(w.inspector()->maximumWidth(), 330);
    EXPECT_EQ(w.columns()->widget(1), w.tracker());
    // Dragging a divider makes no column narrower than its minimum or a side column wider than its maximum.
    auto drag = [&](int handle, int by) {
        QSplitterHandle* grip = w.columns()->handle(handle);
        const QPoint centre = grip->rect().center();
        QTest::mousePress(grip, Qt::LeftButton, {}, centre);
        QMouseEvent move(QEvent::MouseMove, QPointF(centre + QPoint(by, 0)), grip->mapToGlobal(QPointF(centre + QPoint(by, 0))),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(grip, &move);
        QTest::mouseRelease(grip, Qt::LeftButton, {}, centre + QPoint(by, 0));
    };
    drag(2, -800);
    EXPECT_EQ(w.columns()->sizes()[2], 330);
    drag(2, 800);
    EXPECT_EQ(w.columns()->sizes()[2], 235);
    drag(1, 800);
    EXPECT_EQ(w.columns()->sizes()[0], 260);
    drag(1, -800);
    EXPECT_EQ(w.columns()->sizes()[0], 175);
    EXPECT_GE(w.columns()->sizes()[1], 600);
}

TEST_F(MainWindowTest, UndoAndRedoFollowTheHistory)
{
    MainWindow& w = open();
    QAction* undo = w.action(QStringLiteral("Undo"));
    QAction* redo = w.action(QStringLiteral("Redo"));
    ASSERT_TRUE(undo && redo);
    EXPECT_EQ(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());
    edit();
    EXPECT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    edit();
    EXPECT_FALSE(redo->isEnabled());
}

TEST_F(MainWindowTest, TitlesTheWindowAfterTheDocument)
{
    MainWindow& w = open();
    const QString name = QString::fromStdString(harness.model->project().name);
    EXPECT_EQ(w.windowTitle(), name);
    edit();
    EXPECT_EQ(w.windowTitle(), name + QStringLiteral(" \u2014 Edited"));
}

TEST_F(MainWindowTest, ClosingWithUnsavedChangesAsksOnce)
{
    MainWindow& w = open();
    edit();
    harness.dialogs->alertAnswers = {UnsavedChangesChoice::cancel};
    EXPECT_FALSE(w.close()) << "a cancelled close keeps the window";
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(harness.dialogs->alerts.size(), 1u);

    harness.dialogs->alertAnswers = {UnsavedChangesChoice::dontSave};
    EXPECT_TRUE(w.close());
    EXPECT_EQ(harness.dialogs->alerts.size(), 2u) << "one question for one close, whatever the answer";
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, ClosingAQuietDocumentAsksNothing)
{
    MainWindow& w = open();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(harness.dialogs->alerts.empty());
}

TEST_F(MainWindowTest, UpdateCommandsAreDisabledWhileBusy)
{
    MainWindow& w = open();
    QAction* check = w.action(QStringLiteral("Check for Updates\u2026"));
    ASSERT_TRUE(check);
    EXPECT_TRUE(check->isEnabled());
    harness.model->setIsPlaying(true);
    EXPECT_FALSE(check->isEnabled());
    harness.model->setIsPlaying(false);
    harness.model->setIsPreparingPlayback(true);
    EXPECT_FALSE(check->isEnabled());
    harness.model->setIsPreparingPlayback(false);
    harness.model->setIsExporting(true);
    EXPECT_FALSE(check->isEnabled());
    harness.model->setIsExporting(false);
    EXPECT_TRUE(check->isEnabled());
}

namespace {

struct AnsweringChecker : UpdateChecking {
    std::vector<std::function<void(UpdateCheckResult)>> pending;
    void check(const std::string&, std::function<void(UpdateCheckResult)> done) override { pending.push_back(std::move(done)); }
};
struct NoInstaller : UpdateInstalling {
    void install(const UpdateInfo&, std::function<void(std::optional<UpdateFailure>)>) override {}
};
struct SilentUpdateDialogs : UpdateDialogs {
    int asked = 0;
    Choice askToUpdate(const QString&, const QString&) override { ++asked; return Choice::later; }
    void inform(const QString&, const QString&) override {}
};

} // namespace

TEST_F(MainWindowTest, OffersAFoundUpdateInTheMenuAndChecksOnRequest)
{
    MainWindow& w = open();
    AnsweringChecker checker;
    NoInstaller installer;
    auto dialogs = std::make_shared<SilentUpdateDialogs>();
    harness.model->setUpdateCommands(std::make_unique<UpdateCommands>(
        UpdateCommands::Services{checker, installer, dialogs, *harness.settings, [] { return false; }, [] {}}, "1.0"));
    ASSERT_EQ(checker.pending.size(), 1u) << "the check at launch";
    auto visibleUpdateItems = [&] {
        QStringList texts;
        for (auto* action : w.findChildren<QAction*>())
            if (action->isVisible() && action->text().startsWith(QStringLiteral("Update to"))) texts << action->text();
        return texts;
    };
    EXPECT_TRUE(visibleUpdateItems().isEmpty());
    checker.pending[0](UpdateCheckResult{.outcome = UpdateCheckOutcome::updateAvailable,
                                         .update = UpdateInfo{.version = "1.3", .downloadURL = "https://h/1.3.zip"}});
    EXPECT_EQ(visibleUpdateItems(), QStringList{QStringLiteral("Update to 1.3\u2026")});

    w.action(QStringLiteral("Check for Updates\u2026"))->trigger();
    EXPECT_EQ(checker.pending.size(), 2u);
    EXPECT_FALSE(w.action(QStringLiteral("Check for Updates\u2026"))->isEnabled()) << "disabled while it checks";
}

TEST_F(MainWindowTest, ShowsErrorsOnceAndClearsThem)
{
    open();
    harness.model->setError(std::string("The file could not be read."));
    settle();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.front(), "The file could not be read.");
    EXPECT_FALSE(harness.model->error());
}

TEST_F(MainWindowTest, DimsTheWindowWhileExportingOrRecoveringAudio)
{
    MainWindow& w = open();
    ProgressOverlay* overlay = w.progressOverlay();
    EXPECT_FALSE(overlay->isVisible());
    harness.model->setExportMessage("Rendering WAV\u2026");
    harness.model->setIsExporting(true);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->message(), "Rendering WAV\u2026");
    harness.model->setIsRecoveringAudio(true);
    EXPECT_EQ(overlay->message(), "Reconnecting audio\u2026");
    harness.model->setIsRecoveringAudio(false);
    EXPECT_EQ(overlay->message(), "Rendering WAV\u2026");
    harness.model->setIsExporting(false);
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(MainWindowTest, OpensADocumentFromOutsideOnlyAfterRecoveryAndTheUnsavedQuestion)
{
    MainWindow& w = open();
    edit();
    harness.dialogs->alertAnswers = {UnsavedChangesChoice::cancel};
    const auto path = harness.folder / "other.veltrane";
    w.openDocument(path);
    EXPECT_EQ(harness.dialogs->alerts.size(), 1u);
    EXPECT_EQ(harness.model->fileURL(), std::nullopt) << "Cancel leaves the current document open";
}

TEST_F(MainWindowTest, SpaceTogglesPlaybackOnceExceptInTextFields)
{
    MainWindow& w = open();
    TrackerPatternGrid* grid = w.tracker()->grid();
    grid->setFocus();
    settle();
    harness.model->setIsPlaying(true);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_FALSE(harness.model->isPlaying()) << "Space in the grid stops";
    EXPECT_EQ(harness.engine->stops, 1) << "once";

    harness.model->setIsPreparingPlayback(true);
    QTest::keyClick(w.tracker()->transportBar()->playButton(), Qt::Key_Space);
    EXPECT_FALSE(harness.model->isPreparingPlayback()) << "Space while preparing cancels";

    QLineEdit* tempo = w.tracker()->transportBar()->tempoField();
    tempo->setFocus();
    harness.model->setIsPlaying(true);
    const int stops = harness.engine->stops;
    QTest::keyClick(tempo, Qt::Key_Space);
    EXPECT_TRUE(harness.model->isPlaying()) << "a text field keeps its Space";
    EXPECT_EQ(harness.engine->stops, stops);
}

TEST_F(MainWindowTest, ZoomButtonsStayWithinTheirLimitsAndShowRoundedPercent)
{
    MainWindow& w = open();
    EditingToolsBar* tools = w.tracker()->tools();
    QToolButton* zoomOut = tools->button(QStringLiteral("Zoom Out"));
    QToolButton* zoomIn = tools->button(QStringLiteral("Zoom In"));
    QToolButton* percent = tools->findChild<QToolButton*>(QStringLiteral("zoomPercentage"));
    ASSERT_TRUE(zoomOut && zoomIn && percent);
    EXPECT_EQ(percent->text(), "100%");
    harness.model->setRowZoom(0.7);
    zoomOut->click();
    EXPECT_DOUBLE_EQ(harness.model->rowZoom(), 0.65) << "not 0.6";
    EXPECT_EQ(percent->text(), "65%");
    EXPECT_FALSE(zoomOut->isEnabled());
    for (int i = 0; i < 20; ++i) if (zoomIn->isEnabled()) zoomIn->click();
    EXPECT_DOUBLE_EQ(harness.model->rowZoom(), 1.8);
    EXPECT_FALSE(zoomIn->isEnabled());
    percent->click();
    EXPECT_DOUBLE_EQ(harness.model->rowZoom(), 1.0);
    EXPECT_TRUE(harness.model->undoStack().empty()) << "zoom is no edit";

    const struct {
        double zoom;
        const char* text;
    } cases[] = {{0.65, "65%"}, {0.95 - 1e-12, "95%"}, {1.0, "100%"}, {1.1500000000000001, "115%"}, {1.8, "180%"}};
    for (const auto& [zoom, text] : cases) EXPECT_EQ(EditingToolsBar::zoomText(zoom), text) << zoom;
}

TEST_F(MainWindowTest, EditingToolsMakeOneUndoStepEach)
{
    MainWindow& w = open();
    AppModel& model = *harness.model;
    model.mutate([](Project& p) {
        p.patterns[0].setCell(0, 0, Cell{.note = NotePitch{60}, .volume = 0});
        p.patterns[0].setCell(3, 0, Cell{.note = NotePitch{120}, .volume = 60});
    });
    model.select(0, 0, std::nullopt, false);
    model.select(3, 0, std::nullopt, true);
    EditingToolsBar* tools = w.tracker()->tools();
    const auto steps = model.undoStack().size();

    tools->button(QStringLiteral("+12"))->click();
    EXPECT_EQ(pitchOf(*model.project().patterns[0].cell(0, 0).note), 72);
    EXPECT_EQ(pitchOf(*model.project().patterns[0].cell(3, 0).note), 120) << "a pitch that would leave MIDI stays";
    tools->button(QStringLiteral("Interpolate"))->click();
    EXPECT_EQ(model.project().patterns[0].cell(1, 0).volume, 20);
    tools->button(QStringLiteral("Shift Down"))->click();
    EXPECT_EQ(pitchOf(*model.project().patterns[0].cell(0, 0).note), 120) << "the bottom cell wraps to the top";
    EXPECT_EQ(model.undoStack().size(), steps + 3);

    tools->button(QStringLiteral("Copy"))->click();
    EXPECT_EQ(model.undoStack().size(), steps + 3) << "copy is no edit";
}

TEST_F(MainWindowTest, PatternHeaderNamesPatternSelectionAndCursor)
{
    MainWindow& w = open();
    AppModel& model = *harness.model;
    PatternHeaderStrip* header = w.tracker()->header();
    EXPECT_EQ(header->patternText(), "PATTERN 00");
    EXPECT_TRUE(header->selectionText().isEmpty());
    model.select(2, 1, CellField::effect1, false);
    model.select(2, 1, std::nullopt, true);
    EXPECT_EQ(header->selectionText(), QStringLiteral("SELECT 1\u00D71"));
    EXPECT_EQ(header->cursorText(), QStringLiteral("ROW 02 \u00B7 FX 1"));
    const auto& pattern = model.project().patterns[0];
    EXPECT_EQ(header->sizeText(), QStringLiteral("%1 STEPS \u00B7 %2 TRACKS").arg(pattern.rows).arg(pattern.channels));
}

TEST(ApplicationOptions, ReadsAProjectPathAndTheScreenshotFolder)
{
    EXPECT_EQ(parseApplicationOptions({}), ApplicationOptions{});
    EXPECT_EQ(parseApplicationOptions({"song.veltrane"}).projectPath, "song.veltrane");
    EXPECT_EQ(parseApplicationOptions({"--screenshots", "shots", "a.veltrane"}),
              (ApplicationOptions{.projectPath = "a.veltrane", .screenshotFolder = "shots"}));
    EXPECT_EQ(parseApplicationOptions({"--unknown", "--", "-odd.veltrane"}).projectPath, "-odd.veltrane");
    EXPECT_FALSE(parseApplicationOptions({"--screenshots"}).screenshotFolder);
}
