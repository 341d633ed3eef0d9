// The inspector's bindings to instruments, mixer strips and the master, and the plug-in slot edits.

#include "ModelTestSupport.hpp"

#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

const AudioUnitReference delay = testUnit(0x61756678, 2, "Delay");
const AudioUnitReference jx10 = testUnit(0x61756d75, 1, "JX10");
const AudioUnitReference missing = testUnit(0x61756d75, 77, "Gone");

} // namespace

TEST(AppModelMixer, EveryControlChangeStoresItsValueAsOneStep)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    project.instruments[1].cutoff.reset();
    project.instruments[1].resonance.reset();
    model.setProject(std::move(project));
    EXPECT_EQ(controlValue(model.project().instruments[1], InstrumentControl::cutoff), 18000);
    EXPECT_EQ(controlValue(model.project().instruments[1], InstrumentControl::resonance), 0.7);
    EXPECT_EQ(controlValue(model.project().mixer[2], MixerControl::cutoff), 20000);

    model.setInstrumentControl(1, InstrumentControl::cutoff, 900);
    EXPECT_EQ(model.project().instruments[1].cutoff, 900);
    model.setInstrumentControl(1, InstrumentControl::tune, 30); // past the slider's range: stored as given
    EXPECT_EQ(model.project().instruments[1].tune, 30);
    model.setInstrumentControl(1, InstrumentControl::tune, 30); // the same value is still a step
    model.setInstrumentName(1, "Lead");
    EXPECT_EQ(model.project().instruments[1].name, "Lead");
    model.setMixerControl(2, MixerControl::drive, 0.4);
    EXPECT_EQ(model.project().mixer[2].drive, 0.4);
    model.setMixerControl(2, MixerControl::level, 0.3);
    EXPECT_EQ(model.project().mixer[2].volume, 0.3);
    model.setMasterControl(MasterControl::volume, 0.6);
    EXPECT_EQ(model.project().masterVolume, 0.6);
    EXPECT_EQ(model.undoStack().size(), 7u);

    // Indexes the controls captured that name nothing now, and values that are not numbers, change nothing.
    model.setInstrumentControl(9, InstrumentControl::volume, 0.5);
    model.setInstrumentName(-1, "x");
    model.setMixerControl(8, MixerControl::pan, 0.5);
    model.setMixerMuted(8, true);
    model.setInstrumentControl(0, InstrumentControl::volume, std::numeric_limits<double>::quiet_NaN());
    model.setMasterControl(MasterControl::cutoff, std::numeric_limits<double>::infinity());
    EXPECT_EQ(model.undoStack().size(), 7u);
}

TEST(AppModelMixer, MuteToggledTwiceIsTwoSteps)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setMixerMuted(3, true);
    model.setMixerMuted(3, false);
    model.setMixerSolo(3, true);
    EXPECT_EQ(model.undoStack().size(), 3u);
    model.undo();
    model.undo();
    EXPECT_TRUE(model.project().mixer[3].muted);
    EXPECT_FALSE(model.project().mixer[3].solo);
}

TEST(AppModelMixer, MasterEffectsAreCreatedFromTheDefaultsAndKeepTheirSlots)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    project.masterFX.reset();
    model.setProject(std::move(project));
    EXPECT_EQ(controlValue(model.project(), MasterControl::delayTime), 0.25);

    model.setMasterControl(MasterControl::delayFeedback, 60);
    MasterFX expected;
    expected.delayFeedback = 60;
    EXPECT_EQ(model.project().masterFX, expected);

    struct Case {
        double given;
        double stored;
    };
    for (const auto& [given, stored] : {Case{7.5, 8}, Case{12.49, 12}, Case{4.5, 5}}) {
        model.setMasterControl(MasterControl::bitDepth, given);
        EXPECT_EQ(model.project().masterFX->bitDepth, stored) << given;
    }

    model.addMasterAudioUnitEffect(delay);
    const auto chain = model.project().masterFX->audioUnits;
    model.setMasterControl(MasterControl::reverbMix, 0.5);
    EXPECT_EQ(model.project().masterFX->reverbMix, 0.5);
    EXPECT_EQ(model.project().masterFX->audioUnits, chain);

    model.setMasterControl(MasterControl::swing, 0.4);
    EXPECT_EQ(model.project().swing, 0.4);
}

TEST(AppModelMixer, AddingAHostedInstrumentAppendsAndSelectsIt)
{
    ModelHarness harness;
    auto& model = harness.make();
    const auto before = model.project();
    model.addAudioUnitInstrument(jx10);
    ASSERT_EQ(model.project().instruments.size(), before.instruments.size() + 1);
    const auto& added = model.project().instruments.back();
    EXPECT_EQ(added.name, "JX10");
    EXPECT_EQ(added.source, InstrumentSource{(AudioUnitSource{jx10, std::nullopt})});
    EXPECT_EQ(model.selectedInstrument(), static_cast<int>(before.instruments.size()));
    EXPECT_EQ(model.project().patterns, before.patterns);
}

TEST(AppModelMixer, AChainHoldsAtMostEightSlotsAndANinthIsStillAStep)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    project.masterFX.reset();
    model.setProject(std::move(project));
    model.addMasterAudioUnitEffect(delay);
    ASSERT_TRUE(model.project().masterFX);
    MasterFX expected;
    expected.audioUnits = std::vector{model.project().masterFX->audioUnits->at(0)};
    EXPECT_EQ(model.project().masterFX, expected);
    EXPECT_FALSE(expected.audioUnits->at(0).state);
    EXPECT_FALSE(expected.audioUnits->at(0).bypassed);

    model.select(0, 2, std::nullopt, false);
    for (int slot = 0; slot < 8; ++slot) {
        model.addTrackAudioUnitEffect(delay);
        model.addMasterAudioUnitEffect(delay);
    }
    model.undo();
    ASSERT_TRUE(model.canRedo());
    const Project full = model.project();
    const auto steps = model.undoStack().size();
    model.addTrackAudioUnitEffect(delay);
    model.addMasterAudioUnitEffect(delay);
    EXPECT_EQ(model.project().mixer[2].audioUnits->size(), 8u);
    EXPECT_EQ(model.project().masterFX->audioUnits->size(), 8u);
    EXPECT_EQ(model.project().mixer, full.mixer);
    EXPECT_EQ(model.project().masterFX, full.masterFX);
    EXPECT_EQ(model.undoStack().size(), steps + 2);
    EXPECT_FALSE(model.canRedo());

    // A cursor on a track the mixer lacks adds nothing and records nothing.
    Project narrow = model.project();
    narrow.mixer.resize(2);
    model.setProject(std::move(narrow));
    model.addTrackAudioUnitEffect(delay);
    EXPECT_EQ(model.undoStack().size(), steps + 2);
}

TEST(AppModelMixer, BypassAndRemovalFindASlotOnTheMasterToo)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.select(0, 1, std::nullopt, false);
    model.addTrackAudioUnitEffect(delay);
    model.addMasterAudioUnitEffect(delay);
    const Uuid trackSlot = model.project().mixer[1].audioUnits->at(0).id;
    const Uuid masterSlot = model.project().masterFX->audioUnits->back().id;

    model.setAudioUnitEffectBypass(masterSlot, true);
    EXPECT_TRUE(model.project().masterFX->audioUnits->back().bypassed);
    EXPECT_FALSE(model.project().mixer[1].audioUnits->at(0).bypassed);
    ASSERT_EQ(harness.engine->bypasses.size(), 1u);
    EXPECT_EQ(harness.engine->bypasses[0], std::pair(masterSlot, true));

    model.removeAudioUnitEffect(masterSlot);
    EXPECT_TRUE(model.project().masterFX->audioUnits->empty());
    EXPECT_EQ(model.project().mixer[1].audioUnits->size(), 1u);
    model.removeAudioUnitEffect(trackSlot);
    ASSERT_TRUE(model.project().mixer[1].audioUnits);
    EXPECT_TRUE(model.project().mixer[1].audioUnits->empty());

    // An id no slot has changes nothing in the project.
    const Project before = model.project();
    model.setAudioUnitEffectBypass(Uuid::random(), true);
    model.removeAudioUnitEffect(Uuid::random());
    EXPECT_EQ(model.project(), before);
}

TEST(AppModelMixer, OnlyAnUnavailableHostedInstrumentIsReplacedByASineSynth)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = model.project();
    auto gone = Instrument::withAudioUnit("Gone", missing, Data(std::vector<std::uint8_t>{1, 2}));
    gone.attack = 0.5;
    gone.fm = FMSettings{};
    project.instruments.push_back(gone);
    project.instruments.push_back(Instrument::withAudioUnit("JX10", jx10, std::nullopt));
    model.setProject(std::move(project));
    model.refreshUnavailableAudioUnits(false);
    const int goneIndex = static_cast<int>(model.project().instruments.size()) - 2;

    model.replaceUnavailableAudioUnitInstrument(goneIndex + 1); // installed: kept
    model.replaceUnavailableAudioUnitInstrument(0);             // a synth: kept
    model.replaceUnavailableAudioUnitInstrument(99);
    EXPECT_FALSE(model.canUndo());

    model.replaceUnavailableAudioUnitInstrument(goneIndex);
    const auto& replaced = model.project().instruments[static_cast<std::size_t>(goneIndex)];
    EXPECT_EQ(replaced.source, InstrumentSource{SynthSource{Waveform::sine}});
    EXPECT_EQ(replaced.name, "Gone");
    EXPECT_EQ(replaced.attack, 0.5);
    EXPECT_EQ(replaced.id, gone.id);
    EXPECT_FALSE(replaced.fm);
    EXPECT_EQ(model.undoStack().size(), 1u);
}
