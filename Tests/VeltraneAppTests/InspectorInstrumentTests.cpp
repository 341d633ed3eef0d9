// The Instrument tab: the instrument list with its add controls, and the selected instrument's editor.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/InstrumentPanel.hpp"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

QStringList actionTitles(QToolButton* button)
{
    QStringList titles;
    for (auto* action : button->menu()->actions()) titles << action->text();
    return titles;
}

} // namespace

TEST(InspectorInstrument, ListTitlesCountInHexadecimalAndMarkMissingSamples)
{
    EXPECT_EQ(instrumentListTitle(3, "Kick", false), "03  Kick");
    EXPECT_EQ(instrumentListTitle(3, "Kick", true), QStringLiteral("03  \u26A0\uFE0E Kick"));
    EXPECT_EQ(instrumentListTitle(10, "Pad", false), "0A  Pad");
    EXPECT_EQ(instrumentListTitle(255, "X", false), "FF  X");
    EXPECT_EQ(instrumentListTitle(256, "X", false), "100  X");

    InstrumentInspector inspector({Instrument::withWaveform("Bass", Waveform::saw), Instrument::withWaveform("Lead", Waveform::square)});
    auto& list = *inspector.panel().instrumentList();
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.itemText(1), "01  Lead");
    inspector.model().setMissingSampleInstrumentIDs({inspector.instrument(1).id});
    EXPECT_EQ(list.itemText(1), QStringLiteral("01  \u26A0\uFE0E Lead"));

    // Choosing changes only the selection.
    choose(&list, "00  Bass");
    EXPECT_EQ(inspector.model().selectedInstrument(), 0);
    choose(&list, QStringLiteral("01  \u26A0\uFE0E Lead"));
    EXPECT_EQ(inspector.model().selectedInstrument(), 1);
    EXPECT_EQ(inspector.model().undoStack().size(), 0u);
}

TEST(InspectorInstrument, AddControlsAppendAndSelect)
{
    InstrumentInspector inspector({});
    auto& panel = inspector.panel();
    EXPECT_TRUE(panel.editor()->isHidden()) << "no instrument, no editor";
    EXPECT_EQ(panel.instrumentList()->count(), 0);
    EXPECT_EQ(actionTitles(panel.presetMenuButton()).size(), 10);
    EXPECT_EQ(actionTitles(panel.presetMenuButton()).first(), "Sub Bass");
    EXPECT_EQ(actionTitles(panel.synthMenuButton()), (QStringList{"Sine", "Triangle", "Saw", "Square"}));

    panel.synthMenuButton()->menu()->actions()[2]->trigger();
    ASSERT_EQ(inspector.model().project().instruments.size(), 1u);
    EXPECT_EQ(inspector.instrument(0).synthWaveform(), Waveform::saw);
    EXPECT_FALSE(panel.editor()->isHidden());
    panel.fmButton()->click();
    EXPECT_EQ(inspector.model().selectedInstrument(), 1);
    EXPECT_TRUE(inspector.instrument(1).fm.has_value());

    // The installed plug-in instrument is offered; choosing it selects the new instrument.
    ASSERT_FALSE(panel.audioUnitMenuButton()->isHidden());
    EXPECT_EQ(actionTitles(panel.audioUnitMenuButton()), QStringList{QStringLiteral("JX10 \u2014 mda")});
    panel.audioUnitMenuButton()->menu()->actions()[0]->trigger();
    EXPECT_EQ(inspector.model().selectedInstrument(), 2);
    EXPECT_FALSE(panel.pluginEditorButton()->isHidden());
    EXPECT_TRUE(panel.unavailableRow()->isHidden());

    inspector.model().setAvailableAudioUnitInstruments({});
    EXPECT_TRUE(panel.audioUnitMenuButton()->isHidden()) << "absent, not disabled";
}

TEST(InspectorInstrument, CommonControlsWriteTheSelectedInstrument)
{
    auto lead = Instrument::withWaveform("Lead", Waveform::square);
    lead.cutoff.reset();
    lead.resonance.reset();
    InstrumentInspector inspector({Instrument::withWaveform("Bass", Waveform::saw), lead});
    auto& panel = inspector.panel();
    inspector.model().setSelectedInstrument(1);
    EXPECT_EQ(panel.nameField()->text(), "Lead");
    EXPECT_EQ(panel.slider(InstrumentControl::cutoff)->valueText(), "18,000.00");
    EXPECT_EQ(panel.slider(InstrumentControl::resonance)->valueText(), "0.70");
    EXPECT_EQ(panel.slider(InstrumentControl::tune)->slider()->range().lower, -24);
    EXPECT_EQ(panel.slider(InstrumentControl::release)->slider()->range().lower, 0.005);
    EXPECT_TRUE(panel.fmGroup()->isHidden());
    EXPECT_TRUE(panel.pluginEditorButton()->isHidden());

    report(panel.slider(InstrumentControl::cutoff), 900);
    EXPECT_EQ(inspector.instrument(1).cutoff, 900);
    EXPECT_FALSE(inspector.instrument(1).resonance.has_value());
    EXPECT_EQ(inspector.instrument(0), inspector.model().undoStack().back().instruments[0]);

    panel.nameField()->setFocus();
    panel.nameField()->selectAll();
    QTest::keyClicks(panel.nameField(), "Hi");
    EXPECT_EQ(inspector.instrument(1).name, "Hi");
    EXPECT_EQ(panel.instrumentList()->itemText(1), "01  Hi");
    inspector.model().undo();
    EXPECT_EQ(panel.nameField()->text(), "H");
    inspector.model().undo();
    inspector.model().undo();
    EXPECT_EQ(panel.slider(InstrumentControl::cutoff)->valueText(), "18,000.00");
}

TEST(InspectorInstrument, FMOperatorsChangeOnlyTheirOwnFields)
{
    InstrumentInspector inspector({Instrument::withFM("Bell", FMSettings{})});
    auto& panel = inspector.panel();
    ASSERT_FALSE(panel.fmGroup()->isHidden());
    EXPECT_EQ(panel.fmAmount()->valueText(), "0.30");
    choose(panel.modulator().wave, "Square");
    report(panel.carrier().ratio, 2.0);
    report(panel.modulator().fine, -12.5);
    const FMSettings& fm = *inspector.instrument(0).fm;
    EXPECT_EQ(fm.modulator.waveform, Waveform::square);
    EXPECT_EQ(fm.carrier.waveform, Waveform::sine);
    EXPECT_EQ(fm.carrier.ratio, 2.0);
    EXPECT_EQ(fm.modulator.ratio, 1.0);
    EXPECT_EQ(fm.modulator.fine, -12.5);
    EXPECT_EQ(fm.amount, 0.3);
    inspector.model().undo();
    EXPECT_EQ(panel.modulator().fine->valueText(), "0.00");
}

TEST(InspectorInstrument, AnUnavailablePlugInOffersReplacementWithASine)
{
    InstrumentInspector inspector({Instrument::withAudioUnit("Gone", testUnit(0x61756d75, 77, "Gone"), std::nullopt)});
    inspector.model().refreshUnavailableAudioUnits(false);
    auto& panel = inspector.panel();
    EXPECT_FALSE(panel.unavailableRow()->isHidden());
    EXPECT_TRUE(panel.pluginEditorButton()->isHidden());
    panel.replaceButton()->click();
    EXPECT_TRUE(std::holds_alternative<SynthSource>(inspector.instrument(0).source));
    EXPECT_TRUE(panel.unavailableRow()->isHidden());
    EXPECT_EQ(inspector.model().undoStack().size(), 1u);
}

TEST(InspectorInstrument, ThePlugInEditorButtonWaitsWhilePlaying)
{
    InstrumentInspector inspector({Instrument::withAudioUnit("JX10", testUnit(0x61756d75, 1, "JX10"), std::nullopt)});
    auto& panel = inspector.panel();
    EXPECT_TRUE(panel.pluginEditorButton()->isEnabled());
    inspector.model().setIsPreparingPlayback(true);
    EXPECT_FALSE(panel.pluginEditorButton()->isEnabled());
    inspector.model().setIsPreparingPlayback(false);
    panel.pluginEditorButton()->click();
    EXPECT_EQ(inspector.harness.engine->editorRequests.size(), 1u);
}
