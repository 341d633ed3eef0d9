// Exports started from the window's menu: the overlay shows how much is rendered while the window keeps
// serving its events, Cancel stops the render without a trace on disk, and the export and import
// commands are off while one runs.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Window/MainWindow.hpp"
#include "Veltrane/Views/Window/ProgressOverlay.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"

#include <QAction>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

const QStringList exportCommands{QStringLiteral("Export WAV\u2026"), QStringLiteral("Export Stems\u2026"),
                                 QStringLiteral("Export MIDI\u2026"), QStringLiteral("Import MIDI\u2026")};

/// A slow song (about sixteen minutes of audio), so a cancel always arrives while it renders.
Project longSong()
{
    Project project;
    project.name = "Long";
    project.bpm = 20;
    project.patterns[0] = Pattern("Pattern 1", 256, 4);
    project.arrangement->blocks.at(0).repeats = 5;
    project.syncOrderFromArrangement();
    for (int row = 0; row < 256; row += 4) {
        project.patterns[0].setCell(row, 0, Cell{.note = NotePitch{48 + row % 24}, .instrument = 1});
    }
    project.mixer.assign(4, MixerTrack{});
    return project;
}

class MainWindowExportTest : public WidgetTest {
protected:
    MainWindow& open(Project project)
    {
        AppModel& model = harness.make();
        model.setProject(std::move(project));
        window = std::make_unique<MainWindow>(model, MainWindowOptions{.midiSources = [] { return 0; }});
        window->presentError = [this](const QString& message) { errors << message; };
        window->show();
        settle();
        return *window;
    }

    /// Serves the event loop until `done` holds, for at most two minutes.
    template <typename Condition>
    static bool serveUntil(Condition done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!done() && std::chrono::steady_clock::now() < deadline) QApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    QList<QAction*> commandActions() const
    {
        QList<QAction*> found;
        for (auto* action : window->findChildren<QAction*>())
            if (exportCommands.contains(action->text())) found << action;
        return found;
    }

    ModelHarness harness;
    std::unique_ptr<MainWindow> window;
    QStringList errors;
};

} // namespace

TEST_F(MainWindowExportTest, ARunningExportShowsItsProgressAndCancelLeavesThePreviousFileAndNoOther)
{
    MainWindow& w = open(longSong());
    const auto target = harness.folder / "song.wav";
    writeFile(target, "the previous export");
    harness.exportDialogs->answers.push_back(target);
    // Each command is in the File menu; the same commands elsewhere in the window follow the same rule.
    ASSERT_GE(commandActions().size(), exportCommands.size());
    for (auto* action : commandActions()) EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();

    // A timer of the window's thread keeps firing while the render runs: the window stays responsive.
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
    heartbeat.start(10);

    w.action(QStringLiteral("Export WAV\u2026"))->trigger();
    ASSERT_TRUE(harness.model->isExporting());
    ProgressOverlay* overlay = w.progressOverlay();
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_EQ(overlay->message(), "Rendering WAV\u2026");
    EXPECT_TRUE(overlay->cancelButton()->isVisible());
    EXPECT_EQ(overlay->progressBar()->maximum(), 1000) << "a fraction, not a busy bar";
    for (auto* action : commandActions()) EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();

    const int ticksBefore = ticks;
    ASSERT_TRUE(serveUntil([&] {
        return (overlay->progressBar()->value() >= 20 && ticks - ticksBefore >= 4) || !harness.model->isExporting();
    }));
    ASSERT_TRUE(harness.model->isExporting()) << "the render ended before it could be cancelled";
    EXPECT_LT(overlay->progressBar()->value(), 1000);

    QTest::mouseClick(overlay->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(overlay->cancelButton()->isEnabled()) << "a second click does nothing more";
    ASSERT_TRUE(serveUntil([&] { return !harness.model->isExporting(); }));
    settle();

    EXPECT_FALSE(overlay->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    EXPECT_EQ(readFile(target), "the previous export");
    auto names = namesIn(harness.folder.path());
    std::erase_if(names, [](const std::string& name) { return name.find("song") == std::string::npos; });
    EXPECT_EQ(names, std::vector<std::string>{"song.wav"}) << "no partial file beside it";
    for (auto* action : commandActions()) EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
}

TEST_F(MainWindowExportTest, AFinishedExportFillsTheBarAndWritesTheFile)
{
    Project project;
    project.name = "Short";
    project.patterns[0] = Pattern("Pattern 1", 8, 2);
    project.patterns[0].setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 2, .volume = 48});
    project.mixer.assign(2, MixerTrack{});
    MainWindow& w = open(project);
    const auto target = harness.folder / "short.wav";
    harness.exportDialogs->answers.push_back(target);

    int highest = 0;
    QObject::connect(w.progressOverlay()->progressBar(), &QProgressBar::valueChanged, [&](int value) {
        highest = std::max(highest, value);
    });
    w.action(QStringLiteral("Export WAV\u2026"))->trigger();
    EXPECT_EQ(harness.exportDialogs->suggestions, std::vector<std::string>{"Short.wav"});
    ASSERT_TRUE(serveUntil([&] { return !harness.model->isExporting(); }));
    settle();

    EXPECT_EQ(highest, 1000);
    EXPECT_FALSE(w.progressOverlay()->isVisible());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
    const auto audio = AudioFile::read(target);
    EXPECT_EQ(audio.sampleRate, 44100);
    EXPECT_EQ(audio.channelCount(), 2);
}
