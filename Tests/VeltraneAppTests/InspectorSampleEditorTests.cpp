// The Instrument tab's sample settings: the waveform with its marks, the slice buttons, the switches and
// the trim, fade and loop sliders with their ranges.

#include "InspectorTestSupport.hpp"

#include "Veltrane/Views/Inspector/InstrumentPanel.hpp"
#include "Veltrane/Views/Inspector/SampleEditorGroup.hpp"
#include "Veltrane/Views/Inspector/SampleWaveformView.hpp"

#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPushButton>

using namespace veltrane;
using namespace veltrane::inspector;
using namespace veltrane::testing;

namespace {

Instrument sampleInstrument(SampleEdit edit = {})
{
    Instrument kick = Instrument::withData("Kick", Data(std::vector<std::uint8_t>{1, 2, 3}), "kick.wav");
    kick.sampleEdit = std::move(edit);
    return kick;
}

struct SampleInspector : InstrumentInspector {
    using InstrumentInspector::InstrumentInspector;
    SampleEditorGroup& group() { return *panel().sampleGroup(); }
    const SampleEdit& edit() { return *model().project().instruments.at(0).sampleEdit; }
};

} // namespace

TEST(InspectorSampleEditor, OnlyInstrumentsWithSampleSettingsShowThemAfterTheFMGroup)
{
    Instrument both = Instrument::withFM("Both", FMSettings{});
    both.sampleEdit = SampleEdit{};
    SampleInspector inspector({Instrument::withWaveform("Sine", Waveform::sine), sampleInstrument(), both});
    EXPECT_TRUE(inspector.group().isHidden());
    inspector.model().setSelectedInstrument(1);
    EXPECT_FALSE(inspector.group().isHidden());
    EXPECT_TRUE(inspector.panel().fmGroup()->isHidden());
    inspector.model().setSelectedInstrument(2);
    EXPECT_FALSE(inspector.group().isHidden());
    EXPECT_FALSE(inspector.panel().fmGroup()->isHidden());
    EXPECT_LT(layoutPosition(inspector.panel().fmGroup()), layoutPosition(&inspector.group()));
    EXPECT_EQ(inspector.group().waveform()->height(), 86);
}

TEST(InspectorSampleEditor, AFreshEditShowsItsDisplayDefaults)
{
    SampleInspector inspector({sampleInstrument()});
    auto& group = inspector.group();
    EXPECT_EQ(group.sliceCount()->text(), "0 slices");
    EXPECT_FALSE(group.chopButton()->isEnabled());
    EXPECT_FALSE(group.clearButton()->isEnabled());
    EXPECT_TRUE(group.detectButton()->isEnabled());
    EXPECT_FALSE(group.toggle(SampleToggle::reverse)->isChecked());
    EXPECT_TRUE(group.toggle(SampleToggle::zeroSnap)->isChecked()) << "snapping is on until switched off";
    for (const auto control : {SampleControl::loopStart, SampleControl::loopEnd, SampleControl::loopCrossfade})
        EXPECT_TRUE(group.slider(control)->isHidden());

    group.toggle(SampleToggle::zeroSnap)->click();
    EXPECT_EQ(inspector.edit().snapToZeroCrossings, false);
    group.toggle(SampleToggle::loop)->click();
    EXPECT_TRUE(inspector.edit().loop);
    struct Case {
        SampleControl control;
        const char* title;
        const char* shown;
        double lower;
        double upper;
    };
    for (const auto& [control, title, shown, lower, upper] :
         {Case{SampleControl::trimStart, "Trim Start", "0.00", 0, 0.999}, Case{SampleControl::trimEnd, "Trim End", "1.00", 0.001, 1},
          Case{SampleControl::fadeIn, "Fade In", "0.00", 0, 1}, Case{SampleControl::fadeOut, "Fade Out", "0.00", 0, 1},
          Case{SampleControl::loopStart, "Loop Start", "0.00", 0, 0.999},
          Case{SampleControl::loopEnd, "Loop End", "1.00", 0.001, 1},
          Case{SampleControl::loopCrossfade, "Loop Crossfade", "0.01", 0, 0.1}}) {
        auto* slider = group.slider(control);
        ASSERT_NE(slider, nullptr) << title;
        EXPECT_FALSE(slider->isHidden()) << title;
        EXPECT_EQ(slider->title(), title);
        EXPECT_EQ(slider->valueText(), shown) << title;
        EXPECT_DOUBLE_EQ(slider->slider()->range().lower, lower) << title;
        EXPECT_DOUBLE_EQ(slider->slider()->range().upper, upper) << title;
    }
    EXPECT_DOUBLE_EQ(group.slider(SampleControl::loopCrossfade)->value(), 0.008);
    EXPECT_FALSE(inspector.edit().loopStart.has_value()) << "showing a default stores nothing";
}

TEST(InspectorSampleEditor, RangesKeepAStartShortOfItsEnd)
{
    struct Case {
        const char* what;
        SampleEdit edit;
        SampleControl control;
        double lower;
        double upper;
    };
    const Case cases[] = {
        {"trim end near 0", SampleEdit{.trimEnd = 0.0005}, SampleControl::trimStart, 0, 0},
        {"trim start at the end", SampleEdit{.trimStart = 1}, SampleControl::trimEnd, 1, 1},
        {"loop end set", SampleEdit{.loop = true, .loopEnd = 0.6}, SampleControl::loopStart, 0, 0.599},
        {"loop start set", SampleEdit{.loop = true, .loopStart = 0.3}, SampleControl::loopEnd, 0.301, 1},
    };
    for (const auto& [what, edit, control, lower, upper] : cases) {
        SampleInspector inspector({sampleInstrument(edit)});
        const auto range = inspector.group().slider(control)->slider()->range();
        EXPECT_DOUBLE_EQ(range.lower, lower) << what;
        EXPECT_DOUBLE_EQ(range.upper, upper) << what;
    }
}

TEST(InspectorSampleEditor, EachChangeIsOneUndoableEditThatUndoTakesBack)
{
    SampleInspector inspector({sampleInstrument()});
    auto& group = inspector.group();
    const auto steps = inspector.model().undoStack().size();
    report(group.slider(SampleControl::trimStart), 0.2);
    report(group.slider(SampleControl::fadeOut), 0.1);
    EXPECT_DOUBLE_EQ(inspector.edit().trimStart, 0.2);
    EXPECT_DOUBLE_EQ(inspector.edit().fadeOut, 0.1);
    EXPECT_EQ(inspector.model().undoStack().size(), steps + 2);
    EXPECT_DOUBLE_EQ(group.slider(SampleControl::trimEnd)->slider()->range().lower, 0.201) << "the end's range follows the start";
    group.toggle(SampleToggle::reverse)->click();
    EXPECT_TRUE(inspector.edit().reversed);

    inspector.model().undo();
    EXPECT_FALSE(group.toggle(SampleToggle::reverse)->isChecked());
    inspector.model().undo();
    inspector.model().undo();
    EXPECT_EQ(group.slider(SampleControl::trimStart)->valueText(), "0.00");
    EXPECT_EQ(group.waveform()->trimStart(), 0);
}

TEST(InspectorSampleEditor, SliceButtonsAndTheWaveformEditTheSlices)
{
    SampleInspector inspector({sampleInstrument(SampleEdit{.snapToZeroCrossings = false})});
    auto& group = inspector.group();
    inspector.harness.engine->detectedSlices = {0.25, 0.5};
    group.detectButton()->click();
    ASSERT_FALSE(inspector.harness.engine->sliceSensitivities.empty());
    EXPECT_EQ(inspector.harness.engine->sliceSensitivities.back(), 0.55);
    EXPECT_EQ(inspector.edit().slicePoints, (std::vector<double>{0.25, 0.5}));
    EXPECT_EQ(group.sliceCount()->text(), "2 slices");
    EXPECT_TRUE(group.chopButton()->isEnabled());

    // A click on the waveform adds a slice there; the waveform reads its marks back.
    group.waveform()->onToggleSlice(0.75);
    EXPECT_EQ(inspector.edit().slicePoints->size(), 3u);
    EXPECT_EQ(group.waveform()->accessibleValue(), "Trimmed from 0 to 100 percent, 3 slices");

    group.clearButton()->click();
    EXPECT_TRUE(!inspector.edit().slicePoints || inspector.edit().slicePoints->empty());
    EXPECT_EQ(group.sliceCount()->text(), "0 slices");
    EXPECT_FALSE(group.clearButton()->isEnabled());
}

TEST(InspectorSampleEditor, DraggingAMarkIsOneEditAndLoopMarksShowOnlyWhileLooping)
{
    SampleInspector inspector({sampleInstrument(SampleEdit{.loopStart = 0.2, .loopEnd = 0.7})});
    auto& group = inspector.group();
    const auto steps = inspector.model().undoStack().size();
    ASSERT_TRUE(group.waveform()->onHandleMoved);
    group.waveform()->onHandleMoved(SampleWaveformView::Handle::trimEnd, 0.8);
    EXPECT_DOUBLE_EQ(inspector.edit().trimEnd, 0.8);
    EXPECT_EQ(inspector.model().undoStack().size(), steps + 1);
    EXPECT_EQ(group.slider(SampleControl::trimEnd)->valueText(), "0.80");
    EXPECT_DOUBLE_EQ(group.waveform()->trimEnd(), 0.8);
    EXPECT_TRUE(group.slider(SampleControl::loopStart)->isHidden()) << "stored loop points, but the loop is off";
}

TEST(InspectorSampleEditor, TheOverviewIsReadAgainOnlyWhenTheAudioChanges)
{
    SampleInspector inspector({sampleInstrument()});
    auto& requests = inspector.harness.engine->peakRequests;
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().second, 180);
    const auto reads = requests.size();
    inspector.group().toggle(SampleToggle::loop)->click();
    inspector.group().waveform()->onToggleSlice(0.5);
    EXPECT_EQ(requests.size(), reads) << "loop and slices leave the audio as it is";
    inspector.group().toggle(SampleToggle::reverse)->click();
    EXPECT_EQ(requests.size(), reads + 1);
}

TEST(InspectorSampleEditor, PlusSampleAsksForAFile)
{
    SampleInspector inspector({sampleInstrument()});
    EXPECT_EQ(inspector.panel().sampleButton()->text(), "+ Sample");
    inspector.panel().sampleButton()->click();
    EXPECT_EQ(inspector.harness.audioPanelMessages.size(), 1u);
}

// A switch that is on must read as on at a glance: the window style's own checked look is a shade darker
// than off, which the dark inspector hides, so an "on" switch is filled with the accent colour.
TEST(InspectorSampleEditor, SwitchesThatAreOnAreFilledWithTheAccentColour)
{
    SampleInspector inspector({sampleInstrument(SampleEdit{.snapToZeroCrossings = false})});
    auto* loop = inspector.group().toggle(SampleToggle::loop);
    const auto accentPixels = [loop] {
        QImage picture(loop->size(), QImage::Format_ARGB32);
        picture.fill(Qt::black);
        loop->render(&picture);
        const QColor accent = loop->palette().color(QPalette::Highlight);
        int count = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) count += QColor(picture.pixel(x, y)) == accent ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(accentPixels(), 0);
    loop->click();
    ASSERT_TRUE(inspector.edit().loop);
    EXPECT_GT(accentPixels(), loop->width() * loop->height() / 3);
}
