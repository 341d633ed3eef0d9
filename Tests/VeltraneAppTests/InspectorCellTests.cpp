// The inspector column and its Cell tab, driven through their widgets offscreen.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/CellPanel.hpp"
#include "Veltrane/Views/Inspector/EffectSlotBox.hpp"
#include "Veltrane/Views/Inspector/ParameterLockRow.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

QPushButton* button(QWidget& parent, const QString& text)
{
    for (auto* candidate : parent.findChildren<QPushButton*>())
        if (candidate->text() == text) return candidate;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

void triggerLockMenu(CellPanel& panel, ParameterTarget target)
{
    const auto name = QString::fromUtf8(label(target).data(), static_cast<qsizetype>(label(target).size()));
    for (auto* action : panel.addLockButton()->menu()->actions()) {
        if (action->text() == name) {
            action->trigger();
            return;
        }
    }
    ADD_FAILURE() << "no menu item " << name.toStdString();
}

} // namespace

TEST(InspectorShell, SevenTabsInOrderStartingOnTheInstrumentTab)
{
    InspectorHarness inspector(InspectorTab::instrument);
    InspectorView fresh(inspector.model());
    EXPECT_EQ(fresh.currentTab(), InspectorTab::instrument);
    EXPECT_TRUE(fresh.tabButton(InspectorTab::instrument)->isChecked());

    const QStringList titles{"Cell", "Instrument", "Samples", "Mixer", "Modulation", "Tools", "Master"};
    const QStringList symbols{"square.grid.3x3",        "pianokeys",             "waveform",      "slider.horizontal.3",
                              "point.3.connected.trianglepath.dotted", "wrench.and.screwdriver", "speaker.wave.3"};
    for (int i = 0; i < 7; ++i) {
        auto* segment = fresh.tabButton(allInspectorTabs[static_cast<std::size_t>(i)]);
        EXPECT_EQ(segment->toolTip(), titles[i]);
        EXPECT_EQ(segment->accessibleName(), titles[i]);
        EXPECT_FALSE(segment->icon().isNull());
        EXPECT_EQ(segment->property(symbolProperty).toString(), symbols[i]);
    }
    EXPECT_EQ(fresh.minimumWidth(), 235);
    EXPECT_EQ(fresh.maximumWidth(), 330);
    EXPECT_EQ(fresh.sizeHint().width(), 270);

    // Picking a segment shows that tab's panel and nothing else.
    inspector.view->tabButton(InspectorTab::cell)->click();
    EXPECT_EQ(inspector.view->currentTab(), InspectorTab::cell);
    EXPECT_TRUE(inspector.view->panel(InspectorTab::cell)->isVisible());
    inspector.view->tabButton(InspectorTab::instrument)->click();
    EXPECT_FALSE(inspector.view->panel(InspectorTab::cell)->isVisible());
}

TEST(InspectorCell, AnEmptyCellShowsItsDisplayDefaults)
{
    InspectorHarness inspector(InspectorTab::cell);
    inspector.model().setSelectedInstrument(2);
    inspector.model().select(10, 2, CellField::volume, false);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);

    EXPECT_EQ(panel.heading()->text(), QStringLiteral("CELL \u00B7 0A / T3"));
    EXPECT_EQ(panel.noteText()->text(), "Empty");
    EXPECT_EQ(panel.fieldLabel()->text(), "VOL");
    EXPECT_FALSE(panel.gateSlider()->isVisible());
    EXPECT_FALSE(panel.defaultGateButton()->isVisible());
    EXPECT_EQ(panel.instrumentPicker()->currentIndex(), 2);
    EXPECT_EQ(panel.instrumentPicker()->count(), static_cast<int>(inspector.model().project().instruments.size()));
    EXPECT_EQ(panel.volumeSlider()->valueText(), "64.00");
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_EQ(panel.effectSlot(slot)->picker()->currentText(), "None");
        EXPECT_FALSE(panel.effectSlot(slot)->valueSlider()->isVisible());
    }
    EXPECT_TRUE(panel.lockRows().empty());
    EXPECT_EQ(inspector.model().undoStack().size(), 0u) << "showing the cell changed the project";
}

TEST(InspectorCell, NoteLineNamesPitchesNoteOffsAndTies)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    struct Case {
        StepNote note;
        const char* shown;
        bool gateShown;
    };
    for (const auto& [note, shown, gateShown] : {Case{NotePitch{60}, "C-5", true}, Case{NotePitch{61}, "C#5", true},
                                                 Case{NoteOff{}, "OFF", false}, Case{NoteTie{}, "TIE", false}}) {
        // The stored gate is not offered on a note-off or a tie.
        inspector.setCell(0, 0, Cell{.note = note, .gate = 2.0});
        EXPECT_EQ(panel.noteText()->text(), shown);
        EXPECT_EQ(panel.gateSlider()->isVisible(), gateShown) << shown;
        EXPECT_EQ(panel.defaultGateButton()->isVisible(), gateShown) << shown;
    }
}

TEST(InspectorCell, NoteButtonsChangeOnlyTheirFieldsAndUndoMovesTheTab)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    const Cell start{.note = NotePitch{60}, .instrument = 2, .volume = 40, .effects = {Effect{EffectType::pan, 9}},
                     .gate = 3.0, .locks = {{ParameterTarget::trackPan, 0.5}}};
    inspector.setCell(0, 0, start);

    button(panel, "Note Off")->click();
    Cell expected = start;
    expected.note = NoteOff{};
    EXPECT_EQ(inspector.cell(0, 0), expected);
    EXPECT_EQ(panel.noteText()->text(), "OFF");

    button(panel, "Tie")->click();
    expected.note = NoteTie{};
    expected.instrument.reset();
    EXPECT_EQ(inspector.cell(0, 0), expected);

    button(panel, "Clear")->click();
    expected.note.reset();
    EXPECT_EQ(inspector.cell(0, 0), expected);
    EXPECT_EQ(panel.noteText()->text(), "Empty");

    inspector.model().undo();
    inspector.model().undo();
    EXPECT_EQ(panel.noteText()->text(), "OFF");
    EXPECT_EQ(panel.instrumentPicker()->currentIndex(), 2);
    inspector.model().undo();
    EXPECT_EQ(inspector.cell(0, 0), start);
    EXPECT_EQ(panel.noteText()->text(), "C-5");
}

TEST(InspectorCell, GateSliderStoresTheExactValueAndTheDefaultButtonRemovesIt)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(0, 0, Cell{.note = NotePitch{48}});
    EXPECT_EQ(panel.gateSlider()->title(), QStringLiteral("Gate \u00B7 rows"));
    EXPECT_EQ(panel.gateSlider()->valueText(), "1.00");
    EXPECT_FALSE(panel.defaultGateButton()->isVisible());

    report(panel.gateSlider(), 2.3456);
    EXPECT_EQ(inspector.cell(0, 0).gate, 2.3456);
    EXPECT_EQ(panel.gateSlider()->valueText(), "2.35");
    ASSERT_TRUE(panel.defaultGateButton()->isVisible());

    panel.defaultGateButton()->click();
    EXPECT_FALSE(inspector.cell(0, 0).gate.has_value());
    EXPECT_EQ(panel.gateSlider()->valueText(), "1.00");
    EXPECT_FALSE(panel.defaultGateButton()->isVisible());
}

TEST(InspectorCell, VolumeRoundsHalvesAwayFromZeroAndEachValueIsOneStep)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    for (const auto& [delivered, stored] : {std::pair{31.5, 32}, std::pair{12.5, 13}, std::pair{12.49, 12},
                                            std::pair{0.0, 0}, std::pair{64.0, 64}}) {
        report(panel.volumeSlider(), delivered);
        EXPECT_EQ(inspector.cell(0, 0).volume, stored) << delivered;
        EXPECT_EQ(panel.volumeSlider()->valueText(), QString::number(stored) + ".00");
    }
    EXPECT_EQ(inspector.model().undoStack().size(), 5u);
    inspector.model().undo();
    EXPECT_EQ(panel.volumeSlider()->valueText(), "0.00");
    EXPECT_TRUE(inspector.model().isDirty());
}

TEST(InspectorCell, ArrowKeysStepTheVolumeByOne)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    auto* slider = panel.volumeSlider()->slider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(inspector.cell(0, 0).volume, 63);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(inspector.cell(0, 0).volume, 62);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(inspector.cell(0, 0).volume, 63);
    EXPECT_EQ(inspector.model().undoStack().size(), 3u);
    inspector.model().undo();
    EXPECT_EQ(panel.volumeSlider()->valueText(), "62.00");
    EXPECT_NEAR(slider->currentValue(), 62.0, 0.01);
}

TEST(InspectorCell, InstrumentPickerWritesTheChosenIndex)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    const auto& instruments = inspector.model().project().instruments;
    ASSERT_GE(instruments.size(), 3u);
    choose(panel.instrumentPicker(), QString::fromStdString(instruments[2].name));
    EXPECT_EQ(inspector.cell(0, 0).instrument, 2);
    inspector.model().undo();
    EXPECT_FALSE(inspector.cell(0, 0).instrument.has_value());
    EXPECT_EQ(panel.instrumentPicker()->currentIndex(), inspector.model().selectedInstrument());
}

TEST(InspectorCell, EffectTypeKeepsTheValueUntilTheSlotIsEmptied)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(0, 0, Cell{.effects = {Effect{EffectType::arpeggio, 0x37}, std::nullopt}});
    auto* first = panel.effectSlot(0);
    EXPECT_EQ(first->picker()->currentText(), "A  Arpeggio");
    EXPECT_EQ(first->valueSlider()->title(), QStringLiteral("Value \u00B7 37"));

    choose(first->picker(), "V  Vibrato");
    EXPECT_EQ(inspector.cell(0, 0).effects[0], (Effect{EffectType::vibrato, 0x37}));

    choose(first->picker(), "None");
    EXPECT_FALSE(inspector.cell(0, 0).effects[0].has_value());
    EXPECT_FALSE(first->valueSlider()->isVisible());
    choose(first->picker(), "D  Delay");
    EXPECT_EQ(inspector.cell(0, 0).effects[0], (Effect{EffectType::delay, 0}));
    EXPECT_EQ(first->valueSlider()->title(), QStringLiteral("Value \u00B7 00"));

    auto* second = panel.effectSlot(1);
    choose(second->picker(), "C  Chance");
    ASSERT_TRUE(second->valueSlider()->isVisible());
    report(second->valueSlider(), 127.5);
    EXPECT_EQ(inspector.cell(0, 0).effects[1], (Effect{EffectType::chance, 128}));
    EXPECT_EQ(second->valueSlider()->title(), QStringLiteral("Value \u00B7 80"));
    EXPECT_EQ(second->valueSlider()->valueText(), "128.00");

    // Choosing the type the slot already has is no edit.
    const auto steps = inspector.model().undoStack().size();
    choose(second->picker(), "C  Chance");
    EXPECT_EQ(inspector.model().undoStack().size(), steps);

    inspector.model().undo();
    EXPECT_EQ(second->valueSlider()->title(), QStringLiteral("Value \u00B7 00"));
}

TEST(InspectorCell, LocksAreAddedResetMovedAndRemoved)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    EXPECT_EQ(panel.addLockButton()->menu()->actions().size(), parameterTargetCount);
    inspector.model().setSelectedInstrument(1);

    triggerLockMenu(panel, ParameterTarget::instrumentCutoff);
    ASSERT_EQ(inspector.cell(0, 0).locks.size(), 1u);
    EXPECT_EQ(inspector.cell(0, 0).locks[0].value, defaultValue(ParameterTarget::instrumentCutoff));
    EXPECT_EQ(inspector.cell(0, 0).instrument, 1) << "an instrument lock needs an instrument to act on";
    ASSERT_EQ(panel.lockRows().size(), 1u);

    auto* row = panel.lockRows()[0];
    row->slider()->onChange(640.0);
    EXPECT_EQ(inspector.cell(0, 0).locks[0].value, 640.0);
    EXPECT_EQ(row->valueLabel()->text(), "640.00");
    EXPECT_EQ(panel.lockRows()[0], row) << "the row being dragged was replaced";

    // Adding the same target again resets it rather than adding a second lock.
    triggerLockMenu(panel, ParameterTarget::instrumentCutoff);
    ASSERT_EQ(inspector.cell(0, 0).locks.size(), 1u);
    EXPECT_EQ(inspector.cell(0, 0).locks[0].value, defaultValue(ParameterTarget::instrumentCutoff));
    EXPECT_EQ(panel.lockRows().size(), 1u);

    triggerLockMenu(panel, ParameterTarget::masterBitDepth);
    ASSERT_EQ(panel.lockRows().size(), 2u);
    EXPECT_EQ(panel.lockRows()[1]->target(), ParameterTarget::masterBitDepth);
    panel.lockRows()[0]->removeButton()->click();
    ASSERT_EQ(inspector.cell(0, 0).locks.size(), 1u);
    EXPECT_EQ(inspector.cell(0, 0).locks[0].target, ParameterTarget::masterBitDepth);
    QApplication::processEvents();
    EXPECT_EQ(panel.lockRows().size(), 1u);

    inspector.model().undo();
    EXPECT_EQ(panel.lockRows().size(), 2u);
}

TEST(InspectorCell, ALockOutsideItsRangeIsShownAsStoredAndClampedOnTheFirstMove)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(0, 0, Cell{.locks = {{ParameterTarget::masterBitDepth, 40.0}}});
    ASSERT_EQ(panel.lockRows().size(), 1u);
    auto* row = panel.lockRows()[0];
    EXPECT_EQ(row->valueLabel()->text(), "40.00");
    EXPECT_EQ(row->slider()->value(), row->slider()->maximum());

    QTest::keyClick(row->slider(), Qt::Key_Left);
    const double stored = inspector.cell(0, 0).locks[0].value;
    EXPECT_LE(stored, 16.0);
    EXPECT_GT(stored, 15.0);
}

TEST(InspectorCell, ClearSelectedFieldClearsOnlyTheCursorField)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 1, .volume = 30});
    inspector.model().select(0, 0, CellField::volume, false);
    button(panel, "Clear selected field")->click();
    EXPECT_EQ(inspector.cell(0, 0), (Cell{.note = NotePitch{60}, .instrument = 1}));
}

TEST(InspectorCell, EditsFollowTheCursorAndRefreshesNeverWriteBack)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(5, 3, Cell{.note = NotePitch{72}, .volume = 20});
    const auto steps = inspector.model().undoStack().size();
    inspector.model().select(5, 3, CellField::note, false);
    EXPECT_EQ(panel.noteText()->text(), "C-6");
    EXPECT_EQ(panel.volumeSlider()->valueText(), "20.00");
    inspector.model().select(6, 3, CellField::note, false);
    EXPECT_EQ(panel.noteText()->text(), "Empty");
    EXPECT_EQ(inspector.model().undoStack().size(), steps);

    report(panel.volumeSlider(), 10);
    EXPECT_EQ(inspector.cell(6, 3).volume, 10);
    EXPECT_EQ(inspector.cell(5, 3).volume, 20);
}

TEST(InspectorCell, EveryControlIsReachableWithTab)
{
    InspectorHarness inspector(InspectorTab::cell);
    auto& panel = inspector.panel<CellPanel>(InspectorTab::cell);
    inspector.setCell(0, 0, Cell{.note = NotePitch{60}, .effects = {Effect{EffectType::pan, 1}, Effect{}},
                                 .gate = 2.0, .locks = {{ParameterTarget::trackPan, 0}}});
    QApplication::processEvents(); // new rows are shown by the event loop
    inspector.view->activateWindow();
    inspector.view->tabButton(InspectorTab::cell)->setFocus();

    std::set<QWidget*> reached;
    for (int i = 0; i < 200; ++i) {
        reached.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    std::vector<QWidget*> controls{panel.gateSlider()->slider(), panel.defaultGateButton(), panel.instrumentPicker(),
                                   panel.volumeSlider()->slider(), panel.effectSlot(0)->picker(),
                                   panel.effectSlot(0)->valueSlider()->slider(), panel.effectSlot(1)->picker(),
                                   panel.addLockButton(), panel.lockRows().at(0)->slider(),
                                   panel.lockRows().at(0)->removeButton(), button(panel, "Note Off"),
                                   button(panel, "Clear selected field")};
    for (auto* control : controls) EXPECT_TRUE(reached.contains(control)) << control->metaObject()->className()
                                                                            << " " << control->accessibleName().toStdString();
    // The tab picker is one stop, like a group of radio buttons: its arrow keys choose the tab.
    EXPECT_TRUE(reached.contains(inspector.view->tabButton(InspectorTab::cell)));
}

TEST(InspectorShell, ArrowKeysInThePickerChooseTheNeighbouringTab)
{
    InspectorHarness inspector(InspectorTab::cell);
    inspector.view->activateWindow();
    auto* cell = inspector.view->tabButton(InspectorTab::cell);
    cell->setFocus();
    QTest::keyClick(cell, Qt::Key_Right);
    EXPECT_EQ(inspector.view->currentTab(), InspectorTab::instrument);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    EXPECT_EQ(inspector.view->currentTab(), InspectorTab::samples);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(inspector.view->currentTab(), InspectorTab::instrument);
}
