// Built-in instruments the user adds, factory presets, and the FM settings of the selected instrument.

#include "ModelTestSupport.hpp"

#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

TEST(AppModelInstruments, AddsAreNamedAppendedAndSelected)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    project.instruments.resize(3);
    model.setProject(std::move(project));

    model.addFM();
    ASSERT_EQ(model.project().instruments.size(), 4u);
    const auto& fm = model.project().instruments[3];
    EXPECT_EQ(fm.name, "FM 4");
    EXPECT_EQ(fm.fm, FMSettings{});
    EXPECT_EQ(fm.source, InstrumentSource{SynthSource{Waveform::sine}});
    EXPECT_EQ(model.selectedInstrument(), 3);

    model.addSynth(Waveform::saw);
    model.addSynth(Waveform::saw);
    EXPECT_EQ(model.project().instruments[4].name, "Saw");
    EXPECT_EQ(model.project().instruments[5].name, "Saw");
    EXPECT_EQ(model.project().instruments[5].source, InstrumentSource{SynthSource{Waveform::saw}});
    EXPECT_EQ(model.selectedInstrument(), 5);
    model.addSynth(Waveform::triangle);
    EXPECT_EQ(model.project().instruments.back().name, "Triangle");

    const auto patterns = model.project().patterns;
    model.addPreset(InstrumentPreset::glassBell);
    Instrument expected = instrument(InstrumentPreset::glassBell);
    Instrument added = model.project().instruments.back();
    added.id = expected.id; // each preset instrument has its own identifier
    EXPECT_EQ(added, expected);
    EXPECT_EQ(model.selectedInstrument(), 7);
    EXPECT_EQ(model.project().patterns, patterns);
    EXPECT_EQ(model.undoStack().size(), 5u);
}

TEST(AppModelInstruments, TheFirstFMEditStartsFromTheDefaults)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setSelectedInstrument(1);
    const auto source = model.project().instruments[1].source;
    model.updateFM([](FMSettings& fm) { fm.amount = 0.5; });
    FMSettings expected;
    expected.amount = 0.5;
    EXPECT_EQ(model.project().instruments[1].fm, expected);
    EXPECT_EQ(model.project().instruments[1].source, source);

    model.updateFM([](FMSettings& fm) { fm.modulator.ratio = 3; });
    expected.modulator.ratio = 3;
    EXPECT_EQ(model.project().instruments[1].fm, expected);
    EXPECT_EQ(model.undoStack().size(), 2u);
}

TEST(AppModelInstruments, AnFMEditWithoutAValidSelectionDoesNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.addSynth(Waveform::square);
    model.undo(); // the selection now lies past the last instrument
    ASSERT_EQ(model.selectedInstrument(), static_cast<int>(model.project().instruments.size()));
    const auto redo = model.redoStack().size();
    for (const int selected : {model.selectedInstrument(), -1}) {
        model.setSelectedInstrument(selected);
        model.updateFM([](FMSettings& fm) { fm.amount = 1; });
    }
    model.setSelectedInstrument(0);
    model.updateFM([](FMSettings& fm) { fm.carrier.fine = std::numeric_limits<double>::quiet_NaN(); });
    EXPECT_FALSE(model.canUndo());
    EXPECT_EQ(model.redoStack().size(), redo);
}
