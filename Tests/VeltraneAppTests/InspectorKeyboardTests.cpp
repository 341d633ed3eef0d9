// Keyboard use of the inspector: every control of every tab can be reached with Tab.

#include "InspectorTestSupport.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QAbstractSlider>
#include <QLineEdit>

#include <set>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// The controls of `panel` that a user works with, as they are shown now.
std::vector<QWidget*> visibleControls(QWidget& panel)
{
    std::vector<QWidget*> controls;
    for (auto* widget : panel.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QAbstractSlider*>(widget) ||
                             qobject_cast<QComboBox*>(widget) || qobject_cast<QLineEdit*>(widget);
        if (control && widget->isVisibleTo(&panel) && widget->isEnabled()) controls.push_back(widget);
    }
    return controls;
}

} // namespace

TEST(InspectorKeyboard, TabReachesEveryControlOfEveryTab)
{
    InspectorHarness inspector(InspectorTab::mixer);
    inspector.setCell(0, 0, Cell{.note = NotePitch{60}, .effects = {Effect{EffectType::pan, 1}, Effect{}}, .gate = 2.0,
                                 .locks = {{ParameterTarget::trackPan, 0}}});
    Project project = inspector.model().project();
    project.instruments.push_back(Instrument::withFM("Bell", FMSettings{}));
    inspector.model().setProject(std::move(project));
    inspector.model().setSelectedInstrument(static_cast<int>(inspector.model().project().instruments.size()) - 1);
    inspector.model().addModulationSource(ModulationSourceKind::envelope);
    inspector.model().addModulationRoute(inspector.model().project().modulation->sources[0].id, ParameterTarget::trackVolume);

    for (const auto tab : allInspectorTabs) {
        auto* panel = inspector.view->panel(tab);
        if (!panel) continue;
        inspector.view->setCurrentTab(tab);
        QApplication::processEvents();
        inspector.view->activateWindow();
        inspector.view->tabButton(tab)->setFocus();
        std::set<QWidget*> reached;
        for (int i = 0; i < 300; ++i) {
            reached.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (auto* control : visibleControls(*panel)) {
            // A group of segments is one stop, like radio buttons: Tab reaches the chosen one and the arrow
            // keys choose among them (below).
            auto* button = qobject_cast<QAbstractButton*>(control);
            if (button && button->group() && button->group()->exclusive() && !button->isChecked()) continue;
            EXPECT_TRUE(reached.contains(control)) << title(tab) << ": " << control->metaObject()->className() << " "
                                                   << control->accessibleName().toStdString();
        }
    }
}

TEST(InspectorKeyboard, ArrowKeysChooseASegment)
{
    InspectorHarness inspector(InspectorTab::tools);
    inspector.view->activateWindow();
    QAbstractButton* chosen = nullptr;
    for (auto* button : inspector.view->panel(InspectorTab::tools)->findChildren<QAbstractButton*>())
        if (button->accessibleName() == "Step") chosen = button;
    ASSERT_NE(chosen, nullptr);
    chosen->setFocus();
    QTest::keyClick(chosen, Qt::Key_Right);
    EXPECT_EQ(inspector.model().liveRecordMode(), LiveRecordMode::realtime);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(inspector.model().liveRecordMode(), LiveRecordMode::step);
}
