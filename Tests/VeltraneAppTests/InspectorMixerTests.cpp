// The Mixer tab: the strip of the cursor's track and its plug-in inserts.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/AudioUnitEffectRack.hpp"
#include "Veltrane/Views/Inspector/MixerPanel.hpp"
#include "Veltrane/Views/Transport/LevelMeterView.hpp"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

TEST(InspectorMixer, ANewStripShowsItsDisplayDefaults)
{
    InspectorHarness inspector(InspectorTab::mixer);
    auto& panel = inspector.panel<MixerPanel>(InspectorTab::mixer);
    EXPECT_EQ(panel.heading()->text(), "TRACK 1");
    EXPECT_FALSE(panel.muteButton()->isChecked());
    EXPECT_FALSE(panel.soloButton()->isChecked());
    struct Case {
        MixerControl control;
        const char* title;
        const char* shown;
        double lower;
    };
    for (const auto& [control, title, shown, lower] :
         {Case{MixerControl::level, "Level", "0.85", 0}, Case{MixerControl::pan, "Pan", "0.00", -1},
          Case{MixerControl::cutoff, "Cutoff", "20,000.00", 80}, Case{MixerControl::resonance, "Resonance", "0.70", 0.05},
          Case{MixerControl::drive, "Drive", "0.00", 0}}) {
        auto* slider = panel.slider(control);
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->title(), title);
        EXPECT_EQ(slider->valueText(), shown) << title;
        EXPECT_EQ(slider->slider()->range().lower, lower) << title;
    }
    EXPECT_TRUE(panel.rack()->rows().empty());
}

TEST(InspectorMixer, ControlsWriteOnlyTheirFieldOfTheCursorTrack)
{
    InspectorHarness inspector(InspectorTab::mixer);
    auto& panel = inspector.panel<MixerPanel>(InspectorTab::mixer);
    inspector.model().select(0, 2, std::nullopt, false);
    EXPECT_EQ(panel.heading()->text(), "TRACK 3");
    const MixerTrack before = inspector.model().project().mixer[2];

    report(panel.slider(MixerControl::cutoff), 1500);
    MixerTrack expected = before;
    expected.cutoff = 1500;
    EXPECT_EQ(inspector.model().project().mixer[2], expected);
    EXPECT_FALSE(inspector.model().project().mixer[2].resonance.has_value());

    panel.soloButton()->click();
    expected.solo = true;
    EXPECT_EQ(inspector.model().project().mixer[2], expected);
    EXPECT_EQ(inspector.model().project().mixer[1], before) << "another strip changed";
    inspector.model().undo();
    EXPECT_FALSE(panel.soloButton()->isChecked());

    // Another track shows its own strip; edits go there.
    inspector.model().select(0, 0, std::nullopt, false);
    report(panel.slider(MixerControl::level), 0.5);
    EXPECT_EQ(inspector.model().project().mixer[0].volume, 0.5);
    EXPECT_EQ(inspector.model().project().mixer[2].cutoff, 1500);
}

TEST(InspectorMixer, TheRackAddsToTheCursorTrack)
{
    InspectorHarness inspector(InspectorTab::mixer);
    auto& panel = inspector.panel<MixerPanel>(InspectorTab::mixer);
    inspector.model().select(0, 1, std::nullopt, false);
    panel.rack()->addButton()->menu()->actions()[0]->trigger();
    ASSERT_TRUE(inspector.model().project().mixer[1].audioUnits.has_value());
    EXPECT_EQ(inspector.model().project().mixer[1].audioUnits->size(), 1u);
    EXPECT_EQ(panel.rack()->rows().size(), 1u);
    const auto& master = inspector.model().project().masterFX;
    EXPECT_TRUE(!master || !master->audioUnits || master->audioUnits->empty());
}

TEST(InspectorMixer, TheMeterUnderLevelFollowsTheCursorTrack)
{
    InspectorHarness inspector(InspectorTab::mixer);
    auto& panel = inspector.panel<MixerPanel>(InspectorTab::mixer);
    auto* meter = panel.meter();
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->height(), 8);
    EXPECT_LT(layoutPosition(panel.slider(MixerControl::level)), layoutPosition(meter));
    EXPECT_LT(layoutPosition(meter), layoutPosition(panel.slider(MixerControl::pan)));

    inspector.model().meters().tracks[0] = 0.25F;
    inspector.model().meters().tracks[2] = 0.5F;
    inspector.model().select(0, 2, std::nullopt, false);
    meter->tick();
    EXPECT_FLOAT_EQ(meter->level(), 0.5F);
    inspector.model().select(0, 0, std::nullopt, false);
    meter->tick();
    EXPECT_FLOAT_EQ(meter->level(), 0.25F);
    EXPECT_EQ(inspector.model().undoStack().size(), 0u) << "a meter never edits";
}

TEST(InspectorMixer, UndoMovesTheSlidersBack)
{
    InspectorHarness inspector(InspectorTab::mixer);
    auto& panel = inspector.panel<MixerPanel>(InspectorTab::mixer);
    report(panel.slider(MixerControl::level), 0.5);
    report(panel.slider(MixerControl::drive), 0.25);
    EXPECT_EQ(panel.slider(MixerControl::drive)->valueText(), "0.25");
    inspector.model().undo();
    EXPECT_EQ(panel.slider(MixerControl::drive)->valueText(), "0.00");
    EXPECT_FALSE(inspector.model().project().mixer[0].drive.has_value()) << "undo brings the absent drive back";
    EXPECT_EQ(panel.slider(MixerControl::level)->valueText(), "0.50");
    inspector.model().undo();
    EXPECT_EQ(panel.slider(MixerControl::level)->valueText(), "0.85");
}
