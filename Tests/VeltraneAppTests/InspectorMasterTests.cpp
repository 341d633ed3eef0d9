// The Master tab: the master volume, effects, swing and the master's insert rack.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/AudioUnitEffectRack.hpp"
#include "Veltrane/Views/Inspector/MasterPanel.hpp"
#include "Veltrane/Views/Transport/LevelMeterView.hpp"

#include <QCheckBox>
#include <QMenu>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

/// A project without master effects or swing.
void dropMasterSettings(AppModel& model)
{
    Project project = model.project();
    project.masterFX.reset();
    project.swing.reset();
    model.setProject(std::move(project));
}

AudioUnitSlot slot(std::string name)
{
    return AudioUnitSlot{.reference = testUnit(0x61756678, 2, std::move(name))};
}

} // namespace

TEST(InspectorMaster, AbsentSettingsShowTheDefaultMasterSection)
{
    InspectorHarness inspector(InspectorTab::master);
    dropMasterSettings(inspector.model());
    auto& panel = inspector.panel<MasterPanel>(InspectorTab::master);
    struct Case {
        MasterControl control;
        const char* title;
        const char* shown;
        double lower;
        double upper;
    };
    for (const auto& [control, title, shown, lower, upper] :
         {Case{MasterControl::volume, "Volume", "0.80", 0, 1}, Case{MasterControl::cutoff, "Cutoff", "18,000.00", 80, 20000},
          Case{MasterControl::resonance, "Resonance", "0.70", 0.05, 5}, Case{MasterControl::drive, "Drive", "0.00", 0, 1},
          Case{MasterControl::bitDepth, "Bit Depth", "16.00", 4, 16}, Case{MasterControl::delayMix, "Delay", "0.00", 0, 1},
          Case{MasterControl::delayTime, "Delay Time", "0.25", 0.02, 1},
          Case{MasterControl::delayFeedback, "Feedback", "35.00", 0, 85},
          Case{MasterControl::reverbMix, "Reverb", "0.00", 0, 1}, Case{MasterControl::swing, "Swing", "0.00", 0, 1}}) {
        auto* slider = panel.slider(control);
        ASSERT_NE(slider, nullptr) << title;
        EXPECT_EQ(slider->title(), title);
        EXPECT_EQ(slider->valueText(), shown) << title;
        EXPECT_EQ(slider->slider()->range().lower, lower) << title;
        EXPECT_EQ(slider->slider()->range().upper, upper) << title;
    }
    EXPECT_TRUE(panel.rack()->rows().empty());
    EXPECT_EQ(inspector.model().undoStack().size(), 0u);
}

TEST(InspectorMaster, TheMasterLevelStandsBetweenTheHeadingAndTheVolume)
{
    InspectorHarness inspector(InspectorTab::master);
    auto& panel = inspector.panel<MasterPanel>(InspectorTab::master);
    auto* meter = panel.meter();
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->height(), 10);
    EXPECT_EQ(layoutPosition(meter), 1) << "right under the MASTER heading";
    EXPECT_EQ(layoutPosition(panel.slider(MasterControl::volume)), 2);
    inspector.model().meters().master = 0.75F;
    meter->tick();
    EXPECT_FLOAT_EQ(meter->level(), 0.75F);
}

TEST(InspectorMaster, TheFirstChangeCreatesTheMasterSectionAndUndoRemovesIt)
{
    InspectorHarness inspector(InspectorTab::master);
    dropMasterSettings(inspector.model());
    auto& panel = inspector.panel<MasterPanel>(InspectorTab::master);

    report(panel.slider(MasterControl::delayMix), 0.4);
    MasterFX expected;
    expected.delayMix = 0.4;
    EXPECT_EQ(inspector.model().project().masterFX, expected);
    EXPECT_EQ(panel.slider(MasterControl::delayMix)->valueText(), "0.40");

    report(panel.slider(MasterControl::delayFeedback), 60);
    EXPECT_EQ(inspector.model().project().masterFX->delayFeedback, 60);
    inspector.model().undo();
    EXPECT_EQ(panel.slider(MasterControl::delayFeedback)->valueText(), "35.00");
    inspector.model().undo();
    EXPECT_FALSE(inspector.model().project().masterFX.has_value());
    EXPECT_EQ(panel.slider(MasterControl::delayMix)->valueText(), "0.00");
}

TEST(InspectorMaster, BitDepthStoresWholeNumbersAndVolumeAndSwingAreProjectFields)
{
    InspectorHarness inspector(InspectorTab::master);
    auto& panel = inspector.panel<MasterPanel>(InspectorTab::master);
    for (const auto& [delivered, stored] : {std::pair{11.5, 12.0}, std::pair{4.4, 4.0}, std::pair{7.49, 7.0}}) {
        report(panel.slider(MasterControl::bitDepth), delivered);
        EXPECT_EQ(inspector.model().project().masterFX->bitDepth, stored) << delivered;
        EXPECT_EQ(panel.slider(MasterControl::bitDepth)->valueText(), QString::number(stored) + ".00");
    }

    report(panel.slider(MasterControl::volume), 0.625);
    EXPECT_EQ(inspector.model().project().masterVolume, 0.625);
    report(panel.slider(MasterControl::swing), 0.3);
    EXPECT_EQ(inspector.model().project().swing, 0.3);
    EXPECT_EQ(inspector.model().undoStack().size(), 5u);
    EXPECT_TRUE(inspector.model().isDirty());
}

TEST(InspectorMaster, ArrowKeysStepBitDepthByWholeBits)
{
    InspectorHarness inspector(InspectorTab::master);
    auto* slider = inspector.panel<MasterPanel>(InspectorTab::master).slider(MasterControl::bitDepth)->slider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(inspector.model().project().masterFX->bitDepth, 14.0);
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(inspector.model().project().masterFX->bitDepth, 4.0);
}

TEST(InspectorMaster, TheRackAddsToTheMasterUpToEightSlots)
{
    InspectorHarness inspector(InspectorTab::master);
    auto& rack = *inspector.panel<MasterPanel>(InspectorTab::master).rack();
    auto* menu = rack.addButton()->menu();
    ASSERT_EQ(menu->actions().size(), 2) << "the installed effect and music effect";
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("mda \u2014 Delay"));
    EXPECT_TRUE(rack.addButton()->isEnabled());

    Project project = inspector.model().project();
    project.masterFX = MasterFX{};
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>(7, slot("Delay"));
    for (auto& each : *project.masterFX->audioUnits) each.id = Uuid::random();
    inspector.model().setProject(project);
    EXPECT_EQ(rack.rows().size(), 7u);
    EXPECT_TRUE(rack.addButton()->isEnabled());

    menu->actions()[0]->trigger();
    EXPECT_EQ(inspector.model().project().masterFX->audioUnits->size(), 8u);
    EXPECT_FALSE(inspector.model().project().mixer[0].audioUnits.has_value() &&
                 !inspector.model().project().mixer[0].audioUnits->empty());
    EXPECT_EQ(rack.rows().size(), 8u);
    EXPECT_FALSE(rack.addButton()->isEnabled());
}

TEST(InspectorMaster, RackRowsBypassRemoveAndWarn)
{
    InspectorHarness inspector(InspectorTab::master);
    auto& rack = *inspector.panel<MasterPanel>(InspectorTab::master).rack();
    Project project = inspector.model().project();
    project.masterFX = MasterFX{};
    auto missing = slot("Gone");
    missing.reference.componentSubType = 99;
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{slot("Delay"), missing};
    inspector.model().setProject(project);
    inspector.model().refreshUnavailableAudioUnits(false);
    ASSERT_EQ(rack.rows().size(), 2u);

    const auto& running = rack.rows()[0];
    EXPECT_TRUE(running.enabled->isChecked());
    EXPECT_TRUE(running.warning->isHidden());
    EXPECT_TRUE(running.editor->isEnabled());
    EXPECT_EQ(running.editor->toolTip(), "Open Delay");
    running.editor->click();
    EXPECT_EQ(inspector.harness.engine->editorRequests,
              std::vector<std::string>{"effect " + inspector.model().project().masterFX->audioUnits->at(0).id.toString()});
    inspector.model().setError(std::nullopt); // the test engine has no plug-in to show

    running.enabled->click();
    EXPECT_TRUE(inspector.model().project().masterFX->audioUnits->at(0).bypassed);
    inspector.model().undo();
    EXPECT_FALSE(inspector.model().project().masterFX->audioUnits->at(0).bypassed);
    EXPECT_TRUE(rack.rows()[0].enabled->isChecked());

    const auto& gone = rack.rows()[1];
    EXPECT_FALSE(gone.warning->isHidden());
    EXPECT_EQ(gone.warning->toolTip(), "Audio Unit unavailable; it will be skipped");
    EXPECT_FALSE(gone.editor->isEnabled());
    gone.remove->click();
    ASSERT_EQ(inspector.model().project().masterFX->audioUnits->size(), 1u);
    EXPECT_EQ(inspector.model().project().masterFX->audioUnits->at(0).reference.name, "Delay");

    inspector.model().setIsPlaying(true);
    EXPECT_FALSE(rack.rows()[0].editor->isEnabled());
}

TEST(InspectorMaster, NoInstalledEffectsDisablesTheAddMenu)
{
    InspectorHarness inspector(InspectorTab::master);
    inspector.model().setAvailableAudioUnitEffects({});
    EXPECT_FALSE(inspector.panel<MasterPanel>(InspectorTab::master).rack()->addButton()->isEnabled());
}
