// The Tools tab: recording and sync settings, pattern size and name, the fills and the groove tools.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SegmentedPicker.hpp"
#include "Veltrane/Views/Inspector/Stepper.hpp"
#include "Veltrane/Views/Inspector/ToolsPanel.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QToolButton>

#include <cmath>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

const Pattern& pattern0(InspectorHarness& inspector) { return inspector.model().project().patterns[0]; }

void resizePattern0(InspectorHarness& inspector, int rows)
{
    Project project = inspector.model().project();
    project.patterns[0] = Pattern("Pattern 1", rows, 8);
    inspector.model().setProject(std::move(project));
}

int notesOnTrack(const Pattern& pattern, int track)
{
    int count = 0;
    for (int row = 0; row < pattern.rows; ++row) count += pattern.cell(row, track).note.has_value() ? 1 : 0;
    return count;
}

/// The relative luminance of an sRGB colour, as contrast ratios are measured.
double luminance(QColor colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

/// The highest contrast ratio any pixel of the check box's box has against the panel behind it.
double boxContrast(QCheckBox& box)
{
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect indicator = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    const QImage picture = box.grab().toImage();
    const QColor panel = box.palette().color(QPalette::Window);
    double best = 1;
    for (int y = indicator.top(); y <= indicator.bottom(); ++y)
        for (int x = indicator.left(); x <= indicator.right(); ++x) {
            const double a = luminance(picture.pixelColor(x, y)) + 0.05, b = luminance(panel) + 0.05;
            best = std::max(best, std::max(a, b) / std::min(a, b));
        }
    return best;
}

} // namespace

TEST(InspectorTools, RecordingAndSyncSettingsAreModelSettingsWithoutUndo)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    auto& model = inspector.model();
    EXPECT_EQ(panel.modePicker()->current(), 0);
    EXPECT_EQ(panel.writePicker()->current(), 0);
    EXPECT_EQ(panel.quantizeSlider()->valueText(), "1.00");
    EXPECT_EQ(panel.hint()->text(), "Arm record and play notes to enter one step at a time.");

    panel.modePicker()->segment(1)->click();
    EXPECT_EQ(model.liveRecordMode(), LiveRecordMode::realtime);
    EXPECT_EQ(panel.hint()->text(),
              "Arm record, start transport, then play. Timing and velocity are captured from the audio clock.");
    EXPECT_TRUE(panel.writePicker()->isEnabled());
    EXPECT_TRUE(panel.quantizeSlider()->isEnabled());
    panel.writePicker()->segment(1)->click();
    EXPECT_EQ(model.liveRecordWriteMode(), LiveRecordWriteMode::replace);
    report(panel.quantizeSlider(), 0.5);
    EXPECT_EQ(model.recordQuantizeStrength(), 0.5);
    panel.noteOffToggle()->click();
    EXPECT_TRUE(model.recordMIDINoteOff());
    panel.sendClockToggle()->click();
    panel.receiveClockToggle()->click();
    EXPECT_TRUE(model.midiClockSend());
    EXPECT_TRUE(model.midiClockReceive());
    EXPECT_EQ(model.undoStack().size(), 0u);
    EXPECT_FALSE(model.isDirty());

    // The model's own changes move the controls.
    model.setLiveRecordMode(LiveRecordMode::step);
    EXPECT_EQ(panel.modePicker()->current(), 0);
    model.setMidiClockSend(false);
    EXPECT_FALSE(panel.sendClockToggle()->isChecked());
}

TEST(InspectorTools, StatusRowShowsPortCountsAndAMeasuredTempo)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    EXPECT_EQ(panel.portCounts()->text(), QStringLiteral("Inputs 0 \u00B7 Outputs 0"));
    EXPECT_FALSE(panel.externalTempo()->isVisible());
    inspector.model().setExternalClockBPM(120.0);
    EXPECT_TRUE(panel.externalTempo()->isVisible());
    EXPECT_EQ(panel.externalTempo()->text(), "120.00 BPM");
}

TEST(InspectorTools, EveryKeystrokeInThePatternNameIsOneRename)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    auto* field = panel.patternName();
    EXPECT_EQ(field->text(), "Pattern 1");
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    // A cleared name becomes the pattern's default name at once.
    EXPECT_EQ(pattern0(inspector).name, "Pattern 1");
    EXPECT_EQ(field->text(), "Pattern 1");

    field->selectAll();
    QTest::keyClicks(field, "Verse");
    EXPECT_EQ(pattern0(inspector).name, "Verse");
    EXPECT_EQ(field->text(), "Verse");
    EXPECT_EQ(field->cursorPosition(), 5);
    EXPECT_EQ(inspector.model().undoStack().size(), 6u);
    inspector.model().undo();
    EXPECT_EQ(field->text(), "Vers");
}

TEST(InspectorTools, SizeSteppersResizeThePatternAndDoubleStopsAt256Rows)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    EXPECT_EQ(panel.lengthStepper()->label(), "Length  64");
    EXPECT_EQ(panel.tracksStepper()->label(), "Tracks  8");
    EXPECT_EQ(panel.rowsPerBeatStepper()->label(), "Rows per beat  4");

    panel.lengthStepper()->incrementButton()->click();
    EXPECT_EQ(pattern0(inspector).rows, 65);
    EXPECT_EQ(panel.lengthStepper()->label(), "Length  65");
    panel.tracksStepper()->decrementButton()->click();
    EXPECT_EQ(pattern0(inspector).channels, 7);
    panel.rowsPerBeatStepper()->incrementButton()->click();
    EXPECT_EQ(inspector.model().project().rowsPerBeat, 5);
    inspector.model().undo();
    EXPECT_EQ(panel.rowsPerBeatStepper()->label(), "Rows per beat  4");

    resizePattern0(inspector, 255);
    EXPECT_TRUE(panel.doubleButton()->isEnabled());
    resizePattern0(inspector, 256);
    EXPECT_FALSE(panel.doubleButton()->isEnabled());
    EXPECT_FALSE(panel.lengthStepper()->incrementButton()->isEnabled());
    resizePattern0(inspector, 100);
    panel.doubleButton()->click();
    EXPECT_EQ(pattern0(inspector).rows, 200);
}

TEST(InspectorTools, EuclideanFillHoldsPulsesToStepsOnlyWhenFilling)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    EXPECT_EQ(panel.euclideanHeading()->text(), QStringLiteral("EUCLIDEAN FILL \u00B7 TRACK 1"));
    inspector.model().select(0, 2, std::nullopt, false);
    EXPECT_EQ(panel.euclideanHeading()->text(), QStringLiteral("EUCLIDEAN FILL \u00B7 TRACK 3"));
    EXPECT_EQ(panel.pulsesStepper()->label(), "Pulses  4");
    EXPECT_EQ(panel.stepsStepper()->label(), "Steps  16");
    EXPECT_EQ(panel.noteStepper()->label(), "Note  C-4");

    for (int i = 0; i < 6; ++i) panel.pulsesStepper()->incrementButton()->click(); // 10 pulses
    for (int i = 0; i < 8; ++i) panel.stepsStepper()->decrementButton()->click();  // 8 steps
    EXPECT_EQ(panel.pulsesStepper()->label(), "Pulses  10");
    EXPECT_EQ(panel.stepsStepper()->label(), "Steps  8");
    EXPECT_EQ(inspector.model().undoStack().size(), 0u) << "fill settings are not document edits";

    panel.fillButton()->click();
    // 8 pulses over 8 steps: every row of the first eight, then nothing.
    for (int row = 0; row < 8; ++row) EXPECT_TRUE(inspector.cell(row, 2).note.has_value()) << row;
    EXPECT_FALSE(inspector.cell(8, 2).note.has_value());
    EXPECT_EQ(inspector.cell(0, 2).note, StepNote{NotePitch{48}});
    EXPECT_EQ(inspector.model().undoStack().size(), 1u);
}

TEST(InspectorTools, AShorterPatternNarrowsTheStepsRangeButKeepsTheValue)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    resizePattern0(inspector, 8);
    EXPECT_EQ(panel.stepsStepper()->label(), "Steps  16");
    EXPECT_EQ(panel.fillSteps(), 16);
    EXPECT_FALSE(panel.stepsStepper()->incrementButton()->isEnabled());
    panel.stepsStepper()->decrementButton()->click();
    EXPECT_EQ(panel.fillSteps(), 8);
}

TEST(InspectorTools, MelodyUsesTheDensityScaleAndTheFillNote)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    EXPECT_EQ(panel.densitySlider()->valueText(), "0.35");
    EXPECT_TRUE(panel.minorToggle()->isChecked());
    report(panel.densitySlider(), 1.0);
    EXPECT_EQ(panel.fillDensity(), 1.0);
    EXPECT_EQ(panel.densitySlider()->valueText(), "1.00");
    panel.minorToggle()->click();
    EXPECT_FALSE(panel.minorScale());
    panel.melodyButton()->click();
    // Density 1 writes every row, each a note of C major above the fill note C-4.
    const auto& pattern = pattern0(inspector);
    EXPECT_EQ(notesOnTrack(pattern, 0), pattern.rows);
    const std::set<int> major{48, 50, 52, 53, 55, 57, 59, 60};
    for (int row = 0; row < pattern.rows; ++row) EXPECT_TRUE(major.contains(*pitchOf(*pattern.cell(row, 0).note)));
}

TEST(InspectorTools, GrooveButtonsAndSwingAreUndoableEdits)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    inspector.setCell(16, 0, Cell{.note = NotePitch{60}, .volume = 10});
    inspector.setCell(17, 0, Cell{.note = NotePitch{60}, .volume = 10});
    panel.accentButton()->click();
    EXPECT_EQ(inspector.cell(16, 0).volume, 64);
    EXPECT_EQ(inspector.cell(17, 0).volume, 40);
    panel.humanizeButton()->click();
    EXPECT_GE(*inspector.cell(17, 0).volume, 34);
    EXPECT_LE(*inspector.cell(17, 0).volume, 46);

    Project project = inspector.model().project();
    project.swing.reset();
    inspector.model().setProject(project);
    EXPECT_EQ(panel.swingSlider()->valueText(), "0.00");
    report(panel.swingSlider(), 0.25);
    EXPECT_EQ(inspector.model().project().swing, 0.25);
    inspector.model().undo();
    EXPECT_FALSE(inspector.model().project().swing.has_value());
    EXPECT_EQ(panel.swingSlider()->valueText(), "0.00");
}

TEST(InspectorTools, SteppersAnswerTheArrowKeys)
{
    InspectorHarness inspector(InspectorTab::tools);
    auto& panel = inspector.panel<ToolsPanel>(InspectorTab::tools);
    auto* plus = panel.lengthStepper()->incrementButton();
    plus->setFocus();
    QTest::keyClick(plus, Qt::Key_Up);
    QTest::keyClick(plus, Qt::Key_Up);
    QTest::keyClick(plus, Qt::Key_Down);
    EXPECT_EQ(pattern0(inspector).rows, 65);
    EXPECT_EQ(inspector.model().undoStack().size(), 3u);
}

TEST(InspectorTools, CheckBoxesStandOutOnTheDarkTheme)
{
    ensureApplication();
    QWidget panel;
    panel.setPalette(Theme::current().palette());
    panel.setAutoFillBackground(true);
    auto* box = checkBox(QStringLiteral("Send clock & transport"), &panel);
    box->adjustSize();
    EXPECT_EQ(box->text(), "Send clock && transport") << "a lone & would underline the next letter";
    EXPECT_EQ(box->accessibleName(), "Send clock & transport");
    // Non-text parts of a control want a contrast of at least 3:1 against what lies next to them.
    EXPECT_GE(boxContrast(*box), 3.0) << "off";
    box->setChecked(true);
    EXPECT_GE(boxContrast(*box), 3.0) << "on";
}
