// The help sheet: its size and scrolling, Done and Escape, the diagnostics copy, the shortcut table and
// links, and its first-launch showing from the window.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Help/TrackerHelpView.hpp"
#include "Veltrane/Views/Shared/ProductIdentity.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class HelpSheetTest : public WidgetTest {
protected:
    std::unique_ptr<MainWindow> openWindow(bool firstLaunch)
    {
        auto window = std::make_unique<MainWindow>(
            *harness.model, MainWindowOptions{.midiSources = [] { return 0; }, .settings = harness.settings,
                                              .helpOnFirstLaunch = firstLaunch});
        window->show();
        settle();
        return window;
    }

    static std::vector<TrackerHelpView*> openSheets(MainWindow& window)
    {
        std::vector<TrackerHelpView*> sheets;
        for (auto* sheet : window.findChildren<TrackerHelpView*>())
            if (sheet->isVisible()) sheets.push_back(sheet);
        return sheets;
    }

    ModelHarness harness;
};

} // namespace

TEST_F(HelpSheetTest, IsAFixedSizeSheetWhoseContentScrolls)
{
    AppModel& model = harness.make();
    TrackerHelpView sheet(model);
    sheet.show();
    settle();
    EXPECT_EQ(sheet.size(), QSize(700, 650));
    EXPECT_EQ(sheet.minimumSize(), sheet.maximumSize());
    EXPECT_GT(sheet.scrollArea()->verticalScrollBar()->maximum(), 0) << "the content fits: nothing to scroll";
    EXPECT_EQ(sheet.scrollArea()->horizontalScrollBar()->maximum(), 0);
    const auto labels = sheet.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* label) {
        return label->text() == QStringLiteral("Welcome to ") + productFullTitle();
    }));
}

TEST_F(HelpSheetTest, ShortcutsUseLinuxKeysAndPromiseOnlyWhatHappens)
{
    const auto& rows = TrackerHelpView::shortcuts();
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows.front(), (std::pair{QStringLiteral("Play / Stop"), QStringLiteral("Space")}));
    EXPECT_EQ(rows[6], (std::pair{QStringLiteral("Copy / Paste region"), QStringLiteral("Ctrl+C / Ctrl+V")}));
    EXPECT_EQ(rows[7], (std::pair{QStringLiteral("Undo / Redo"), QStringLiteral("Ctrl+Z / Ctrl+Shift+Z")}));
    EXPECT_EQ(rows.back().first, QStringLiteral("Select pattern"));
    for (const auto& [action, keys] : rows) {
        EXPECT_FALSE(keys.contains(QChar(0x2318)) || keys.contains(QChar(0x21E7))) << keys.toStdString();
        // Nothing switches to a pattern picked while playing, so the sheet must not say it does.
        EXPECT_FALSE(keys.contains(QStringLiteral("loop boundary")) || keys.contains(QStringLiteral("queues")))
            << keys.toStdString();
    }

    // The keys column is dimmed beside its action.
    AppModel& model = harness.make();
    TrackerHelpView sheet(model);
    for (auto* label : sheet.findChildren<QLabel*>()) {
        if (label->text() != QStringLiteral("Ctrl+Z / Ctrl+Shift+Z")) continue;
        EXPECT_LT(label->palette().color(QPalette::WindowText).alpha(), 255);
        EXPECT_TRUE(label->font().fixedPitch() || label->font().styleHint() == QFont::Monospace ||
                    label->font().family().contains(QStringLiteral("Mono"), Qt::CaseInsensitive));
    }
}

TEST_F(HelpSheetTest, CopiesTheDiagnosticsOncePerSheet)
{
    AppModel& model = harness.make();
    {
        TrackerHelpView sheet(model);
        EXPECT_EQ(sheet.copyDiagnosticsButton()->text(), QStringLiteral("Copy Diagnostics"));
        QApplication::clipboard()->setText(QStringLiteral("something else"));
        QTest::mouseClick(sheet.copyDiagnosticsButton(), Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(model.diagnosticsReport()));
        EXPECT_EQ(sheet.copyDiagnosticsButton()->text(), QStringLiteral("Diagnostics Copied"));
        EXPECT_TRUE(sheet.copied());
    }
    TrackerHelpView again(model);
    EXPECT_EQ(again.copyDiagnosticsButton()->text(), QStringLiteral("Copy Diagnostics"));
}

TEST_F(HelpSheetTest, LinksOpenTheProductAndMakerSites)
{
    AppModel& model = harness.make();
    TrackerHelpView sheet(model);
    std::vector<QUrl> opened;
    sheet.openLink = [&](const QUrl& url) { opened.push_back(url); };
    EXPECT_EQ(sheet.websiteLink()->text(), QStringLiteral("Veltrane Website"));
    EXPECT_EQ(sheet.makerLink()->text(), makerName());
    QTest::mouseClick(sheet.websiteLink(), Qt::LeftButton);
    QTest::mouseClick(sheet.makerLink(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], model.websiteURL());
    EXPECT_EQ(opened[1], makerWebsite());
    EXPECT_TRUE(makerWebsite().isValid());
    EXPECT_EQ(makerWebsite().scheme(), QStringLiteral("https"));
}

TEST_F(HelpSheetTest, OpensOnFirstLaunchUntilClosedOnce)
{
    harness.make();
    for (const bool escape : {true, false}) {
        auto window = openWindow(true);
        auto sheets = openSheets(*window);
        ASSERT_EQ(sheets.size(), 1u);
        EXPECT_FALSE(gettingStartedSeen(*harness.settings));
        // Escape closes the sheet as Done does; either way it has been seen.
        if (escape) QTest::keyClick(sheets[0], Qt::Key_Escape);
        else QTest::mouseClick(sheets[0]->doneButton(), Qt::LeftButton);
        settle();
        EXPECT_TRUE(openSheets(*window).empty());
        EXPECT_TRUE(gettingStartedSeen(*harness.settings));
        harness.settings->remove(QString::fromLatin1(TrackerHelpView::seenKey));
    }

    harness.settings->setValue(QString::fromLatin1(TrackerHelpView::seenKey), true);
    auto window = openWindow(true);
    EXPECT_TRUE(openSheets(*window).empty());

    // The toolbar's help item brings it back, once however often it is asked.
    window->action(QStringLiteral("Tracker Help"))->trigger();
    window->action(QStringLiteral("Tracker Help"))->trigger();
    settle();
    EXPECT_EQ(openSheets(*window).size(), 1u);
}

TEST_F(HelpSheetTest, ATestWindowOpensNoSheetByItself)
{
    harness.make();
    auto window = openWindow(false);
    EXPECT_TRUE(openSheets(*window).empty());
}
