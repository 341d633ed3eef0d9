// The toolbar: the project menu's items and what they call, Undo and Redo following the history, and
// the help item.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Toolbar/ProjectToolbar.hpp"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class ProjectToolbarTest : public WidgetTest {
protected:
    ProjectToolbar& open()
    {
        AppModel& model = harness.make();
        toolbar = std::make_unique<ProjectToolbar>(model);
        toolbar->show();
        settle();
        return *toolbar;
    }

    AppModel& model() { return *harness.model; }
    void edit() { editCell(model(), 0, 0, Cell{.note = NotePitch{1}}); }

    QAction* item(const QString& text)
    {
        for (QAction* action : toolbar->projectMenu()->actions())
            if (action->text() == text) return action;
        ADD_FAILURE() << "no menu item " << text.toStdString();
        return nullptr;
    }

    ModelHarness harness;
    std::unique_ptr<ProjectToolbar> toolbar;
};

} // namespace

TEST_F(ProjectToolbarTest, HoldsTheProjectMenuUndoRedoAndHelpInOrder)
{
    ProjectToolbar& bar = open();
    const auto actions = bar.actions();
    ASSERT_EQ(actions.size(), 4);
    const std::pair<const char*, const char*> items[] = {
        {"Project Files", "folder"}, {"Undo", "arrow.uturn.backward"}, {"Redo", "arrow.uturn.forward"},
        {"Tracker Help", "questionmark.circle"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(items[i].first));
        EXPECT_EQ(actions[i]->property(symbolProperty).toString(), QString::fromUtf8(items[i].second));
        EXPECT_TRUE(actions[i]->shortcut().isEmpty()) << items[i].first;
    }
    EXPECT_EQ(bar.projectMenuAction()->toolTip(), QStringLiteral("Open, save, import and export"));

    const std::pair<const char*, const char*> menu[] = {
        {"Open Project\u2026", "folder"},         {"Save Project", "square.and.arrow.down"},
        {"Import MIDI\u2026", "pianokeys.inverse"}, {"", ""},
        {"Export WAV\u2026", "waveform"},          {"Export Stems\u2026", "square.stack.3d.up"},
        {"Export MIDI\u2026", "pianokeys"}};
    const auto entries = bar.projectMenu()->actions();
    ASSERT_EQ(entries.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(entries[i]->isSeparator(), i == 3) << i;
        EXPECT_EQ(entries[i]->text(), QString::fromUtf8(menu[i].first)) << i;
        EXPECT_EQ(entries[i]->property(symbolProperty).toString(), QString::fromUtf8(menu[i].second)) << i;
        EXPECT_TRUE(entries[i]->isEnabled()) << i;
    }

    QSignalSpy help(&bar, &ProjectToolbar::helpRequested);
    bar.helpAction()->trigger();
    EXPECT_EQ(help.count(), 1);
}

TEST_F(ProjectToolbarTest, UndoAndRedoFollowTheHistory)
{
    ProjectToolbar& bar = open();
    const Project start = model().project();
    EXPECT_FALSE(bar.undoAction()->isEnabled());
    EXPECT_FALSE(bar.redoAction()->isEnabled());
    edit();
    const Project edited = model().project();
    EXPECT_TRUE(bar.undoAction()->isEnabled());
    EXPECT_FALSE(bar.redoAction()->isEnabled());
    bar.undoAction()->trigger();
    EXPECT_EQ(model().project(), start);
    EXPECT_FALSE(bar.undoAction()->isEnabled());
    EXPECT_TRUE(bar.redoAction()->isEnabled());
    bar.redoAction()->trigger();
    EXPECT_EQ(model().project(), edited);
    EXPECT_TRUE(bar.undoAction()->isEnabled());
    EXPECT_FALSE(bar.redoAction()->isEnabled());
    bar.undoAction()->trigger();
    edit();
    EXPECT_FALSE(bar.redoAction()->isEnabled());
}

TEST_F(ProjectToolbarTest, CancelledPanelsChangeNothing)
{
    open();
    edit();
    const Project before = model().project();
    const bool dirty = model().isDirty();
    model().setIsPlaying(true);

    // A document never saved asks where to save it; cancelling leaves it unsaved.
    harness.dialogs->saveAnswers.push_back(std::nullopt);
    item(QStringLiteral("Save Project"))->trigger();
    EXPECT_EQ(harness.dialogs->saveSuggestions.size(), 1u);
    EXPECT_FALSE(model().fileURL().has_value());

    harness.dialogs->openAnswers.push_back(std::nullopt);
    harness.dialogs->alertAnswers.push_back(UnsavedChangesChoice::dontSave);
    item(QStringLiteral("Open Project\u2026"))->trigger();

    for (const char* text : {"Import MIDI\u2026", "Export WAV\u2026", "Export Stems\u2026", "Export MIDI\u2026"}) {
        const int panels = harness.exportDialogs->panels;
        harness.exportDialogs->answers.push_back(std::nullopt);
        item(QString::fromUtf8(text))->trigger();
        EXPECT_EQ(harness.exportDialogs->panels, panels + 1) << text;
        EXPECT_TRUE(model().isPlaying()) << text << " stopped playback";
        EXPECT_FALSE(model().isExporting()) << text;
    }
    EXPECT_EQ(model().project(), before);
    EXPECT_EQ(model().isDirty(), dirty);
}
