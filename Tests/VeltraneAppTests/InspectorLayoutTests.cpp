// How the inspector's rows fit the column: nothing reaches past its right edge, at any width the column
// can take.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/FlowLayout.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QPushButton>
#include <QStyle>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

TEST(InspectorShell, EveryTabFitsTheNarrowestColumn)
{
    InspectorHarness inspector(InspectorTab::cell);
    // Cells, instruments and sources with everything shown, so every row of every tab is laid out.
    inspector.setCell(0, 0, Cell{.note = NotePitch{60}, .effects = {Effect{EffectType::arpeggio, 1}, Effect{EffectType::chance, 2}},
                                 .gate = 2.0, .locks = {{ParameterTarget::instrumentCutoff, 900}}});
    Project project = inspector.model().project();
    auto bell = Instrument::withFM("A bell with a long name", FMSettings{});
    bell.sampleEdit = SampleEdit{.loop = true, .slicePoints = std::vector<double>{0.5}};
    project.instruments.push_back(std::move(bell));
    inspector.model().setProject(std::move(project));
    inspector.model().setSelectedInstrument(static_cast<int>(inspector.model().project().instruments.size()) - 1);
    inspector.model().addModulationSource(ModulationSourceKind::lfo);
    inspector.model().addModulationRoute(inspector.model().project().modulation->sources[0].id, ParameterTarget::instrumentCutoff);
    QApplication::processEvents();

    const int scrollBar = inspector.view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int room = InspectorView::minimumColumnWidth - 2 * itemSpacing - scrollBar;
    for (const auto tab : allInspectorTabs) {
        auto* panel = inspector.view->panel(tab);
        if (!panel) continue;
        inspector.view->setCurrentTab(tab);
        QApplication::processEvents();
        EXPECT_LE(panel->minimumSizeHint().width(), room) << title(tab) << ": the right edge would be cut off";
    }
}

TEST(InspectorLayout, AFlowRowWrapsWhatDoesNotFitAndKeepsItsLastItemAtTheEnd)
{
    ensureApplication();
    QWidget row;
    auto* flow = new FlowLayout(&row, true);
    flow->setSpacing(6);
    std::vector<QPushButton*> buttons;
    for (const char* title : {"Detect Slices", "Chop to Pattern", "Clear"}) {
        buttons.push_back(new QPushButton(QString::fromUtf8(title), &row));
        flow->addWidget(buttons.back());
    }
    const auto widthOf = [](QPushButton* button) { return button->sizeHint().width(); };
    const int oneLine = widthOf(buttons[0]) + widthOf(buttons[1]) + widthOf(buttons[2]) + 12;

    // Room to spare: one line, the last button at the right end.
    row.resize(oneLine + 50, flow->heightForWidth(oneLine + 50));
    flow->setGeometry(row.rect());
    EXPECT_EQ(buttons[0]->x(), 0);
    EXPECT_EQ(buttons[1]->y(), buttons[0]->y());
    EXPECT_EQ(buttons[2]->geometry().right(), row.width() - 1);

    // Too narrow for all three: the last goes onto a second line, at its left, and the row grows taller.
    const int narrow = oneLine - 10;
    EXPECT_GT(flow->heightForWidth(narrow), flow->heightForWidth(oneLine + 50));
    row.resize(narrow, flow->heightForWidth(narrow));
    flow->setGeometry(row.rect());
    EXPECT_EQ(buttons[1]->y(), buttons[0]->y());
    EXPECT_GT(buttons[2]->y(), buttons[0]->y());
    EXPECT_EQ(buttons[2]->x(), 0);
    for (auto* button : buttons) EXPECT_LE(button->geometry().right(), narrow - 1);
    EXPECT_EQ(flow->minimumSize().width(), widthOf(buttons[1])) << "only the widest item bounds the column";
}
