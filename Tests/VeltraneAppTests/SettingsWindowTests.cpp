// The settings window's About section: the title with the version, its three links, its fixed width,
// and the menu command that opens it.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Settings/SettingsWindow.hpp"
#include "Veltrane/Views/Shared/ProductIdentity.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class SettingsWindowTest : public WidgetTest {
protected:
    ModelHarness harness;
};

} // namespace

TEST_F(SettingsWindowTest, AboutNamesTheProductAndVersionAndLinksOut)
{
    AppModel& model = harness.make();
    SettingsWindow window(model);
    window.show();
    settle();

    // A build folder declares no version, so the title ends in "Development".
    EXPECT_EQ(model.version(), "Development");
    EXPECT_EQ(window.titleLine()->text(), productFullTitle() + QStringLiteral(" Development"));
    const auto groups = window.findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0]->title(), QStringLiteral("About"));
    EXPECT_EQ(window.feedbackLink()->text(), QStringLiteral("Send feedback"));
    EXPECT_EQ(window.websiteLink()->text(), QStringLiteral("Website"));

    std::vector<QUrl> opened;
    window.openLink = [&](const QUrl& url) { opened.push_back(url); };
    for (auto* link : {window.makerLink(), window.feedbackLink(), window.websiteLink()}) QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<QUrl>{makerWebsite(), model.feedbackURL(), model.websiteURL()}));

    // The title and caption lead; the two links sit at the trailing edge, on the title's row.
    EXPECT_GT(window.feedbackLink()->geometry().left(), window.titleLine()->geometry().right());
    EXPECT_LT(window.feedbackLink()->geometry().right(), window.websiteLink()->geometry().left());
    EXPECT_LT(window.makerLink()->geometry().top(), window.feedbackLink()->geometry().bottom() + 20);
}

TEST_F(SettingsWindowTest, KeepsItsWidthAndFitsItsHeight)
{
    AppModel& model = harness.make();
    SettingsWindow window(model);
    window.show();
    settle();
    EXPECT_EQ(window.width(), SettingsWindow::windowWidth);
    const int height = window.height();
    for (const QSize asked : {QSize(900, 600), QSize(200, 100)}) {
        window.resize(asked);
        settle();
        EXPECT_EQ(window.width(), SettingsWindow::windowWidth);
        EXPECT_EQ(window.height(), height);
    }
    EXPECT_LT(height, 300) << "taller than its one section";
}

TEST_F(SettingsWindowTest, TheEditMenuOpensOneSettingsWindow)
{
    AppModel& model = harness.make();
    MainWindow main(model, MainWindowOptions{.midiSources = [] { return 0; }, .settings = harness.settings});
    QAction* command = main.action(QStringLiteral("Settings\u2026"));
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    command->trigger();
    command->trigger();
    settle();
    const auto windows = main.findChildren<SettingsWindow*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_TRUE(windows[0]->isVisible());
}
