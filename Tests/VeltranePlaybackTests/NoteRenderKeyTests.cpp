#include "VeltranePlayback/NotePlan/InstrumentLocks.hpp"
#include "VeltranePlayback/Voices/ScheduledBufferKey.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

using namespace veltrane;

namespace {

Instrument fmSynth()
{
    return Instrument::withFM("Bell", FMSettings{.amount = 0.4, .carrier = {.ratio = 1}, .modulator = {.ratio = 3.5}});
}

} // namespace

TEST(ScheduledBufferKey, IdenticalNotesShareAKeyAndEverySoundSettingSeparatesThem)
{
    const auto instrument = fmSynth();
    const auto key = scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0);
    EXPECT_EQ(key, scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0));
    EXPECT_EQ(std::hash<ScheduledBufferKey>{}(key), std::hash<ScheduledBufferKey>{}(scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0)));

    auto changed = [&](auto edit) {
        auto copy = instrument;
        edit(copy);
        return scheduledBufferKey(copy, 60, 6000, 1.0, 0.0);
    };
    const ScheduledBufferKey variants[] = {
        scheduledBufferKey(instrument, 61, 6000, 1.0, 0.0),
        scheduledBufferKey(instrument, 60, 6001, 1.0, 0.0),
        scheduledBufferKey(instrument, 60, 6000, 0.5, 0.0),
        scheduledBufferKey(instrument, 60, 6000, 1.0, -0.0), // bit patterns: -0.0 is another pan
        scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0, {.driveAmount = 0.5}),
        scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0, {.bitDepth = 8}),
        scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0, {.delayMix = 0.1}),
        scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0, {.reverbMix = 0.1}),
        changed([](Instrument& i) { i.id = Uuid::random(); }),
        changed([](Instrument& i) { i.tune = 0.5; }),
        changed([](Instrument& i) { i.volume = 0.5; }),
        changed([](Instrument& i) { i.cutoff = 900; }),
        changed([](Instrument& i) { i.resonance = 2; }),
        changed([](Instrument& i) { i.attack = 0.3; }),
        changed([](Instrument& i) { i.decay = 0.3; }),
        changed([](Instrument& i) { i.sustain = 0.3; }),
        changed([](Instrument& i) { i.release = 0.3; }),
        changed([](Instrument& i) { i.source = SynthSource{Waveform::saw}; }),
        changed([](Instrument& i) { i.fm->amount = 0.9; }),
        changed([](Instrument& i) { i.fm->carrier.ratio = 2; }),
        changed([](Instrument& i) { i.fm->carrier.fine = 3; }),
        changed([](Instrument& i) { i.fm->carrier.waveform = Waveform::square; }),
        changed([](Instrument& i) { i.fm->modulator.ratio = 2; }),
        changed([](Instrument& i) { i.fm->modulator.fine = 3; }),
        changed([](Instrument& i) { i.fm->modulator.waveform = Waveform::triangle; }),
        changed([](Instrument& i) { i.fm.reset(); }),
    };
    std::unordered_set<ScheduledBufferKey> distinct{key};
    for (const auto& variant : variants) {
        EXPECT_NE(variant, key);
        distinct.insert(variant);
    }
    EXPECT_EQ(distinct.size(), std::size(variants) + 1);

    const double nan = std::nan("");
    EXPECT_EQ(scheduledBufferKey(instrument, 60, 6000, nan, 0.0), scheduledBufferKey(instrument, 60, 6000, nan, 0.0));
}

TEST(ScheduledBufferKey, AMissingCutoffIsTheFilterTheNoteIsRenderedWith)
{
    // Without a cutoff a note renders at 18,000 Hz. A cutoff lock of 20,000 Hz opens the filter further:
    // a different sound, so the two must not share a buffer.
    Instrument plain = Instrument::withWaveform("Saw", Waveform::saw);
    plain.cutoff.reset();
    plain.resonance.reset();
    auto locked = plain;
    const ParameterLock opened[] = {{ParameterTarget::instrumentCutoff, 20000}};
    applyInstrumentLocks(opened, locked);
    EXPECT_NE(scheduledBufferKey(plain, 60, 100, 1, 0), scheduledBufferKey(locked, 60, 100, 1, 0));

    auto explicitDefaults = plain;
    explicitDefaults.cutoff = 18000;
    explicitDefaults.resonance = 0.7;
    EXPECT_EQ(scheduledBufferKey(plain, 60, 100, 1, 0), scheduledBufferKey(explicitDefaults, 60, 100, 1, 0));
}

TEST(InstrumentLocks, EachLockWritesItsFieldHeldToItsRangeAndTheLastLockWins)
{
    Instrument instrument = Instrument::withWaveform("Lead", Waveform::sine);
    instrument.cutoff.reset();
    const ParameterLock locks[] = {
        {ParameterTarget::instrumentVolume, 3},     {ParameterTarget::instrumentPan, -4},
        {ParameterTarget::instrumentTune, 60},      {ParameterTarget::instrumentCutoff, 5},
        {ParameterTarget::instrumentResonance, 9},  {ParameterTarget::instrumentAttack, 0.25},
        {ParameterTarget::instrumentDecay, 7},      {ParameterTarget::instrumentSustain, -1},
        {ParameterTarget::instrumentRelease, 0.5},  {ParameterTarget::instrumentWaveform, 2.4},
        {ParameterTarget::instrumentTune, -3},      {ParameterTarget::trackVolume, 0},
        {ParameterTarget::masterCutoff, 100},       {ParameterTarget::instrumentFMAmount, 0.9},
    };
    applyInstrumentLocks(locks, instrument);
    EXPECT_EQ(instrument.volume, 1);
    EXPECT_EQ(instrument.pan, -1);
    EXPECT_EQ(instrument.tune, -3);
    EXPECT_EQ(instrument.cutoff, 20);
    EXPECT_EQ(instrument.resonance, 5);
    EXPECT_EQ(instrument.attack, 0.25);
    EXPECT_EQ(instrument.decay, 2);
    EXPECT_EQ(instrument.sustain, 0);
    EXPECT_EQ(instrument.release, 0.5);
    EXPECT_EQ(instrument.synthWaveform(), Waveform::saw);
    EXPECT_FALSE(instrument.fm); // FM locks need FM settings to act on
}

TEST(InstrumentLocks, FMLocksActOnFMSettingsAndTheWaveformLockOnlyOnSynths)
{
    auto fm = fmSynth();
    const ParameterLock fmLocks[] = {
        {ParameterTarget::instrumentFMAmount, 2},          {ParameterTarget::instrumentFMCarrierRatio, 0.1},
        {ParameterTarget::instrumentFMCarrierFine, 500},   {ParameterTarget::instrumentFMCarrierWaveform, 3},
        {ParameterTarget::instrumentFMModulatorRatio, 9},  {ParameterTarget::instrumentFMModulatorFine, -20},
        {ParameterTarget::instrumentFMModulatorWaveform, 1},
    };
    applyInstrumentLocks(fmLocks, fm);
    EXPECT_EQ(*fm.fm, (FMSettings{.amount = 1,
                                  .carrier = {.ratio = 0.25, .waveform = Waveform::square, .fine = 100},
                                  .modulator = {.ratio = 8, .waveform = Waveform::triangle, .fine = -20}}));

    auto sampler = Instrument::withBookmark("Kick", Data(std::string_view("veltrane-path:/k.wav")), "k.wav");
    const auto before = sampler;
    const ParameterLock waveform[] = {{ParameterTarget::instrumentWaveform, 3}};
    applyInstrumentLocks(waveform, sampler);
    EXPECT_EQ(sampler, before);
}
