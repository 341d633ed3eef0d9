#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Tracker/AutomationLaneView.hpp"
#include "Veltrane/Views/Tracker/AutomationPanel.hpp"

#include <QComboBox>

using namespace veltrane;
using namespace veltrane::testing;

namespace {
class AutomationLane : public WidgetTest {};
}

TEST(AutomationPoints, TakeTheFirstLockOfTheTargetOnTheTrack)
{
    Pattern pattern("P", 8, 2);
    pattern.setCell(1, 0, Cell{.locks = {{ParameterTarget::trackVolume, 0.2}, {ParameterTarget::trackCutoff, 800}}});
    pattern.setCell(4, 0, Cell{.locks = {{ParameterTarget::trackCutoff, 100}, {ParameterTarget::trackCutoff, 900}}});
    pattern.setCell(5, 1, Cell{.locks = {{ParameterTarget::trackCutoff, 50}}});
    EXPECT_EQ(automationPoints(pattern, 0, ParameterTarget::trackCutoff),
              (std::vector<AutomationPoint>{{1, 800}, {4, 100}}));
    EXPECT_TRUE(automationPoints(pattern, 2, ParameterTarget::trackCutoff).empty()) << "a track past the pattern";
}

TEST_F(AutomationLane, DragsMapToRowsAndValues)
{
    AutomationLaneView lane;
    lane.resize(160, 82);
    lane.show(Pattern("P", 16, 1), 0, ParameterTarget::trackCutoff, 0);
    EXPECT_EQ(lane.valueAt({0, 41}).row, 0);
    EXPECT_NEAR(lane.valueAt({0, 41}).value, 632.46, 0.5) << "the cutoff's middle is logarithmic";
    EXPECT_EQ(lane.valueAt({160, 0}).row, 15);
    EXPECT_DOUBLE_EQ(lane.valueAt({400, -10}).value, 20000);
    EXPECT_DOUBLE_EQ(lane.valueAt({-5, 82}).value, 20);
    EXPECT_EQ(lane.valueAt({-5, 82}).row, 0);

    std::vector<AutomationPoint> reported;
    lane.onSet = [&](int row, double value) { reported.push_back({row, value}); };
    QTest::mousePress(&lane, Qt::LeftButton, {}, QPoint(15, 0));
    QTest::mouseMove(&lane, QPoint(25, 41));
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.front().row, 1);
    EXPECT_EQ(lane.accessibleName(), "Track Cutoff automation for track 1");

    AutomationLaneView empty;
    empty.resize(0, 0);
    empty.show(Pattern("P", 4, 1), 0, ParameterTarget::trackVolume, 0);
    EXPECT_EQ(empty.valueAt({0, 0}).row, 0) << "a lane with no size still maps";
}

TEST_F(AutomationLane, DrawingWritesLocksIntoTheCursorTrack)
{
    ModelHarness harness;
    AppModel& model = harness.make();
    model.newProject(); // empty cells
    model.select(0, 1, std::nullopt, false);
    AutomationPanel panel(model);
    panel.resize(600, 112);
    panel.QWidget::show();
    settle();
    EXPECT_EQ(panel.headingText(), QStringLiteral("AUTOMATION \u00B7 TRACK 2"));
    EXPECT_EQ(panel.picker()->count(), 31);
    EXPECT_EQ(panel.target(), ParameterTarget::trackCutoff);

    const auto steps = model.undoStack().size();
    panel.lane()->onSet(3, 99999); // beyond the range
    const Cell& cell = model.project().patterns[0].cell(3, 1);
    ASSERT_NE(cell.lock(ParameterTarget::trackCutoff), nullptr);
    EXPECT_DOUBLE_EQ(cell.lock(ParameterTarget::trackCutoff)->value, 20000);
    EXPECT_FALSE(cell.instrument) << "a track target leaves the instrument alone";
    EXPECT_EQ(model.undoStack().size(), steps + 1);

    panel.picker()->setCurrentIndex(indexOf(ParameterTarget::instrumentVolume));
    model.setSelectedInstrument(2);
    panel.lane()->onSet(6, 0.5);
    EXPECT_EQ(model.project().patterns[0].cell(6, 1).instrument, 2) << "an instrument target sets the instrument";
    EXPECT_EQ(panel.lane()->points().size(), 1u) << "the lane shows the lock it drew";
}
