// The sidebar: the pattern list and its buttons, the song's block rows with their controls and markers,
// and the loop section, each over a real model.

#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Sidebar/Sidebar.hpp"
#include "Veltrane/Views/Sidebar/SidebarList.hpp"
#include "Veltrane/Views/Sidebar/SidebarRow.hpp"
#include "Veltrane/Views/Sidebar/SongBlockRow.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"
#include "Veltrane/Views/Tracker/TrackerPatternGrid.hpp"
#include "Veltrane/Views/Window/MainWindow.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class SidebarTest : public WidgetTest {
protected:
    /// A project of `patterns` patterns whose song plays `blocks` (pattern indices, one repeat each).
    Sidebar& open(int patterns, std::vector<int> blocks)
    {
        AppModel& model = harness.make();
        Project project = model.project();
        while (static_cast<int>(project.patterns.size()) < patterns) project.addPattern();
        project.arrangement->blocks.clear();
        for (const int pattern : blocks) project.arrangement->blocks.push_back(SongBlock{.pattern = pattern});
        project.syncOrderFromArrangement();
        model.setProject(std::move(project));
        sidebar = std::make_unique<Sidebar>(model);
        sidebar->resize(220, 700);
        sidebar->show();
        settle();
        return *sidebar;
    }

    AppModel& model() { return *harness.model; }

    void click(QAbstractButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->accessibleName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }

    void press(QWidget* row)
    {
        QTest::mousePress(row, Qt::LeftButton, {}, QPoint(row->width() - 4, row->height() / 2));
        settle();
    }

    ModelHarness harness;
    std::unique_ptr<Sidebar> sidebar;
};

} // namespace

TEST_F(SidebarTest, ListsPatternsByHexIndexAndManagesThem)
{
    Sidebar& s = open(1, {0});
    ASSERT_EQ(s.patternRowCount(), 1);
    EXPECT_EQ(s.patternRow(0)->findChildren<QLabel*>()[0]->text(), QStringLiteral("00"));
    EXPECT_FALSE(s.deletePatternButton()->isEnabled());
    EXPECT_EQ(s.newPatternButton()->toolTip(), QStringLiteral("New pattern"));
    EXPECT_EQ(s.clonePatternButton()->toolTip(), QStringLiteral("Clone pattern"));
    EXPECT_EQ(s.deletePatternButton()->toolTip(), QStringLiteral("Delete pattern"));

    click(s.newPatternButton());
    ASSERT_EQ(s.patternRowCount(), 2);
    EXPECT_TRUE(s.deletePatternButton()->isEnabled());
    EXPECT_TRUE(s.patternRow(1)->isHighlighted());
    EXPECT_FALSE(s.patternRow(0)->isHighlighted());

    click(s.clonePatternButton());
    ASSERT_EQ(s.patternRowCount(), 3);
    EXPECT_EQ(model().project().patterns[2].name, model().project().patterns[1].name + " Copy");

    for (int i = 0; i < 11; ++i) model().newPattern(false);
    settle();
    ASSERT_EQ(s.patternRowCount(), 14);
    EXPECT_EQ(s.patternRow(10)->findChildren<QLabel*>()[0]->text(), QStringLiteral("0A"));

    while (model().project().patterns.size() > 2) model().deletePattern();
    settle();
    click(s.deletePatternButton());
    EXPECT_EQ(model().project().patterns.size(), 1u);
    EXPECT_EQ(s.patternRowCount(), 1);
    EXPECT_FALSE(s.deletePatternButton()->isEnabled());
}

TEST_F(SidebarTest, PickingAPatternWhilePlayingOnlyMarksIt)
{
    Sidebar& s = open(3, {0});
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(s.queuedMark(i)->isVisibleTo(&s));
    EXPECT_EQ(s.queuedMark(0)->property(symbolProperty).toString(), QStringLiteral("clock.arrow.circlepath"));

    model().setIsPlaying(true);
    press(s.patternRow(2));
    EXPECT_EQ(model().patternIndex(), 0);
    EXPECT_TRUE(s.patternRow(0)->isHighlighted());
    EXPECT_FALSE(s.patternRow(2)->isHighlighted());
    EXPECT_TRUE(s.queuedMark(2)->isVisibleTo(&s));
    EXPECT_FALSE(s.queuedMark(0)->isVisibleTo(&s));

    model().stop();
    settle();
    EXPECT_FALSE(s.queuedMark(2)->isVisibleTo(&s));

    press(s.patternRow(2));
    EXPECT_EQ(model().patternIndex(), 2);
    EXPECT_TRUE(s.patternRow(2)->isHighlighted());
    EXPECT_FALSE(s.patternRow(0)->isHighlighted());
}

TEST_F(SidebarTest, BlockButtonsAreDisabledWhereTheModelWouldRefuse)
{
    Sidebar& s = open(2, {0});
    ASSERT_EQ(s.blockRowCount(), 1);
    SongBlockRow* only = s.blockRow(0);
    EXPECT_FALSE(only->upButton()->isEnabled());
    EXPECT_FALSE(only->downButton()->isEnabled());
    EXPECT_FALSE(only->removeButton()->isEnabled());
    EXPECT_FALSE(only->fewerButton()->isEnabled());
    EXPECT_TRUE(only->moreButton()->isEnabled());
    EXPECT_EQ(only->repeatsLabel()->text(), QStringLiteral("\u00D71"));
    EXPECT_EQ(only->markerButton()->toolTip(), QStringLiteral("Add marker"));

    click(s.addBlockButton());
    click(s.addBlockButton());
    ASSERT_EQ(s.blockRowCount(), 3);
    EXPECT_FALSE(s.blockRow(0)->upButton()->isEnabled());
    EXPECT_TRUE(s.blockRow(0)->downButton()->isEnabled());
    EXPECT_TRUE(s.blockRow(2)->upButton()->isEnabled());
    EXPECT_FALSE(s.blockRow(2)->downButton()->isEnabled());
    EXPECT_TRUE(s.blockRow(1)->removeButton()->isEnabled());

    click(s.blockRow(1)->moreButton());
    EXPECT_EQ(model().project().arrangement->blocks[1].repeats, 2);
    EXPECT_EQ(s.blockRow(1)->repeatsLabel()->text(), QStringLiteral("\u00D72"));
    click(s.blockRow(1)->fewerButton());
    EXPECT_EQ(model().project().arrangement->blocks[1].repeats, 1);
    EXPECT_FALSE(s.blockRow(1)->fewerButton()->isEnabled());

    model().setOrderRepeats(1, 64);
    settle();
    click(s.blockRow(1)->moreButton());
    EXPECT_EQ(model().project().arrangement->blocks[1].repeats, 64);
    EXPECT_EQ(s.blockRow(1)->repeatsLabel()->text(), QStringLiteral("\u00D764"));
}

TEST_F(SidebarTest, BlockRowsMoveRemoveRepatternAndSelect)
{
    Sidebar& s = open(3, {0, 1, 2});
    const auto ids = [&] {
        std::vector<Uuid> result;
        for (const auto& block : model().project().arrangement->blocks) result.push_back(block.id);
        return result;
    };
    const auto before = ids();
    click(s.blockRow(0)->downButton());
    EXPECT_EQ(ids(), (std::vector<Uuid>{before[1], before[0], before[2]}));
    EXPECT_TRUE(s.blockRow(1)->isHighlighted());
    click(s.blockRow(1)->upButton());
    EXPECT_EQ(ids(), before);

    // The pattern menu lists every pattern with a check on the block's own, and picks another.
    SongBlockRow* row = s.blockRow(1);
    EXPECT_EQ(row->patternMenu()->text(), QString::fromStdString(model().project().patterns[1].name));
    emit row->patternMenu()->menu()->aboutToShow();
    const auto items = row->patternMenu()->menu()->actions();
    ASSERT_EQ(items.size(), 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ(items[p]->property(symbolProperty).toString() == QStringLiteral("checkmark"), p == 1) << p;
    items[2]->trigger();
    settle();
    EXPECT_EQ(model().project().arrangement->blocks[1].pattern, 2);
    EXPECT_EQ(row->patternMenu()->text(), QString::fromStdString(model().project().patterns[2].name));

    // Selecting a block while stopped also switches the edited pattern; while playing only the highlight.
    press(s.blockRow(2));
    EXPECT_EQ(model().selectedSongBlock(), 2);
    EXPECT_EQ(model().patternIndex(), 2);
    EXPECT_TRUE(s.blockRow(2)->isHighlighted());
    model().setIsPlaying(true);
    press(s.blockRow(0));
    EXPECT_EQ(model().selectedSongBlock(), 0);
    EXPECT_EQ(model().patternIndex(), 2);
    model().setIsPlaying(false);

    click(s.duplicateBlockButton());
    ASSERT_EQ(s.blockRowCount(), 4);
    EXPECT_EQ(model().selectedSongBlock(), 1);
    click(s.blockRow(3)->removeButton());
    EXPECT_EQ(s.blockRowCount(), 3);
    EXPECT_EQ(model().project().arrangement->blocks.size(), 3u);
}

TEST_F(SidebarTest, MarkersShowUnderTheirBlockAndAreRenamedAsTyped)
{
    Sidebar& s = open(2, {0, 1, 0});
    click(s.blockRow(1)->markerButton());
    EXPECT_TRUE(s.blockRow(0)->markerFields().empty());
    EXPECT_TRUE(s.blockRow(2)->markerFields().empty());
    ASSERT_EQ(s.blockRow(1)->markerFields().size(), 1u);
    QLineEdit* field = s.blockRow(1)->markerFields()[0];
    EXPECT_EQ(field->text(), QStringLiteral("Marker 1"));
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Marker"));

    // Each keystroke is one undoable rename, and the field being typed in stays the same field.
    field->setFocus();
    field->selectAll();
    const auto steps = model().undoStack().size();
    QTest::keyClicks(field, QStringLiteral("Drop"));
    settle();
    EXPECT_EQ(model().project().arrangement->markers[0].name, "Drop");
    EXPECT_EQ(model().undoStack().size(), steps + 4);
    EXPECT_EQ(s.blockRow(1)->markerFields()[0], field);
    EXPECT_EQ(field->text(), QStringLiteral("Drop"));

    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    settle();
    EXPECT_EQ(model().project().arrangement->markers[0].name, "Marker");
    EXPECT_EQ(field->text(), QStringLiteral("Marker"));

    click(s.blockRow(1)->markerRemoveButtons()[0]);
    EXPECT_TRUE(model().project().arrangement->markers.empty());
    EXPECT_TRUE(s.blockRow(1)->markerFields().empty());
}

TEST_F(SidebarTest, LoopSectionCountsBlocksFromOneAndTintsTheRegion)
{
    Sidebar& s = open(2, {0, 1, 0, 1});
    ASSERT_TRUE(s.loopSection()->isVisibleTo(&s));
    EXPECT_EQ(s.loopToggle()->text(), QStringLiteral("Loop section 1\u20131"));
    EXPECT_FALSE(s.loopToggle()->isChecked());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.blockRow(i)->tint().alpha(), 0) << i;

    press(s.blockRow(2));
    click(s.setEndButton());
    press(s.blockRow(1));
    click(s.setStartButton());
    EXPECT_EQ(s.loopToggle()->text(), QStringLiteral("Loop section 2\u20133"));
    EXPECT_FALSE(model().project().arrangement->loop.enabled);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.blockRow(i)->tint().alpha(), 0) << i;

    QTest::mouseClick(s.loopToggle(), Qt::LeftButton, {}, QPoint(6, s.loopToggle()->height() / 2));
    settle();
    EXPECT_TRUE(model().project().arrangement->loop.enabled);
    EXPECT_TRUE(s.loopToggle()->isChecked());
    const QColor tint = withOpacity(Theme::current().accent, 0.1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.blockRow(i)->tint(), (i == 1 || i == 2) ? tint : QColor(Qt::transparent)) << i;

    // A start after the end moves the end along.
    press(s.blockRow(3));
    click(s.setStartButton());
    EXPECT_EQ(s.loopToggle()->text(), QStringLiteral("Loop section 4\u20134"));
    EXPECT_TRUE(model().project().arrangement->loop.enabled);
}

TEST_F(SidebarTest, ASonglessProjectListsItsOrderWithoutLoopSection)
{
    Sidebar& s = open(2, {0});
    Project project = model().project();
    project.arrangement.reset();
    project.order = {1, 0, 1};
    model().setProject(std::move(project));
    settle();
    ASSERT_EQ(s.blockRowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.blockRow(i)->repeatsLabel()->text(), QStringLiteral("\u00D71"));
        EXPECT_TRUE(s.blockRow(i)->markerFields().empty());
    }
    EXPECT_EQ(s.blockRow(0)->patternMenu()->text(), QString::fromStdString(model().project().patterns[1].name));
    EXPECT_FALSE(s.loopSection()->isVisibleTo(&s));

    // Adding a block makes the song from the order.
    click(s.addBlockButton());
    EXPECT_TRUE(model().project().arrangement.has_value());
    EXPECT_EQ(s.blockRowCount(), 4);
    EXPECT_TRUE(s.loopSection()->isVisibleTo(&s));
}

TEST_F(SidebarTest, FillsTheWindowsLeftColumn)
{
    AppModel& model = harness.make();
    MainWindow window(model, MainWindowOptions{.midiSources = [] { return 0; }, .settings = harness.settings});
    window.show();
    settle();
    auto* content = window.sidebar()->findChild<Sidebar*>();
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->width(), window.sidebar()->width());
    EXPECT_EQ(content->patternRowCount(), static_cast<int>(model.project().patterns.size()));
}

TEST_F(SidebarTest, ArrowKeysMoveThroughThePatternListAndTheGridFollows)
{
    AppModel& model = harness.make();
    Project project = model.project();
    while (project.patterns.size() < 40) project.addPattern();
    model.setProject(std::move(project));
    MainWindow window(model, MainWindowOptions{.midiSources = [] { return 0; }, .settings = harness.settings});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* content = window.sidebar()->findChild<Sidebar*>();
    ASSERT_NE(content, nullptr);
    Sidebar& s = *content;
    TrackerPatternGrid* grid = window.tracker()->grid();
    const int last = s.patternRowCount() - 1;
    ASSERT_EQ(last, 39);

    // The window does not open with the keys in the list; a click on a row gives them to it.
    EXPECT_NE(QApplication::focusWidget(), s.patternList());
    EXPECT_FALSE(s.patternRow(0)->inFocusedList());
    model.select(9, 0, std::nullopt, false);
    press(s.patternRow(1));
    ASSERT_EQ(QApplication::focusWidget(), s.patternList());
    EXPECT_TRUE(s.patternRow(1)->inFocusedList());

    const auto key = [&](Qt::Key pressed, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), pressed, modifiers);
        settle();
    };
    // What each key leaves chosen, in turn: the keys stop at both ends rather than wrapping round.
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int chosen;
    } steps[] = {
        {Qt::Key_Down, Qt::NoModifier, 2}, {Qt::Key_Down, Qt::NoModifier, 3}, {Qt::Key_Up, Qt::NoModifier, 2},
        {Qt::Key_Home, Qt::NoModifier, 0}, {Qt::Key_Up, Qt::NoModifier, 0},   {Qt::Key_End, Qt::NoModifier, last},
        {Qt::Key_Down, Qt::NoModifier, last}, {Qt::Key_Up, Qt::ShiftModifier, last}, {Qt::Key_Up, Qt::NoModifier, last - 1},
    };
    for (const auto& step : steps) {
        key(step.key, step.modifiers);
        EXPECT_EQ(model.patternIndex(), step.chosen);
        EXPECT_EQ(model.queuedPatternIndex(), std::nullopt);
        EXPECT_EQ(grid->content().pattern.name, model.project().patterns[static_cast<std::size_t>(step.chosen)].name);
        EXPECT_EQ(grid->content().selectedRow, 0);
        for (int i = 0; i <= last; ++i) EXPECT_EQ(s.patternRow(i)->isHighlighted(), i == step.chosen) << "row " << i;
        // The chosen row is scrolled into sight.
        EXPECT_FALSE(s.patternRow(step.chosen)->visibleRegion().isEmpty()) << "row " << step.chosen;
    }
    EXPECT_TRUE(s.patternRow(0)->visibleRegion().isEmpty()) << "a long list scrolls";
    EXPECT_EQ(QApplication::focusWidget(), s.patternList()) << "the list keeps the keys while rows are chosen";

    // While a pattern plays, the keys walk the queued mark from row to row and the playing pattern stays
    // under edit; Stop clears the mark.
    key(Qt::Key_Home);
    model.setIsPlaying(true);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(model.queuedPatternIndex(), 2);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(grid->content().pattern.name, model.project().patterns[0].name);
    EXPECT_TRUE(s.patternRow(0)->isHighlighted());
    EXPECT_TRUE(s.queuedMark(2)->isVisibleTo(&s));
    EXPECT_FALSE(s.queuedMark(1)->isVisibleTo(&s));
    key(Qt::Key_Up);
    EXPECT_EQ(model.queuedPatternIndex(), 1);
    model.stop();
    settle();

    // A click in the grid takes the keys back: the arrows move the cursor, not the pattern.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(80, 200));
    settle();
    ASSERT_EQ(QApplication::focusWidget(), grid);
    EXPECT_FALSE(s.patternRow(0)->inFocusedList());
    const int row = model.selectedRow();
    key(Qt::Key_Down);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(model.selectedRow(), row + 1);
}
