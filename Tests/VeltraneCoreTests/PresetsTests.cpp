#include "VeltraneCore/Presets/InstrumentPreset.hpp"

#include <gtest/gtest.h>

using namespace veltrane;

namespace {

struct PresetSound {
    InstrumentPreset preset;
    const char* name;
    Waveform waveform;
    std::optional<FMSettings> fm;
    double tune, attack, decay, sustain, release, cutoff, resonance;
};

FMSettings fm(double amount, double carrierRatio, Waveform carrier, double modulatorRatio, Waveform modulator)
{
    return {.amount = amount,
            .carrier = {.ratio = carrierRatio, .waveform = carrier, .fine = 0},
            .modulator = {.ratio = modulatorRatio, .waveform = modulator, .fine = 0}};
}

using enum Waveform;
using enum InstrumentPreset;

const PresetSound presetSounds[] = {
    {subBass, "Sub Bass", sine, std::nullopt, 0, 0.005, 0.18, 0.75, 0.08, 1100, 0.7},
    {acidBass, "Acid Bass", saw, std::nullopt, 0, 0.002, 0.14, 0.45, 0.05, 2200, 2.8},
    {pluck, "Digital Pluck", triangle, std::nullopt, 0, 0.002, 0.16, 0.08, 0.12, 6500, 0.7},
    {warmPad, "Warm Pad", saw, std::nullopt, 0, 0.45, 0.5, 0.72, 1.2, 3800, 0.7},
    {glassBell, "Glass Bell", sine, fm(0.62, 1, sine, 3.01, sine), 0, 0.002, 0.8, 0.05, 1.4, 12000, 0.7},
    {trackerLead, "Tracker Lead", square, std::nullopt, 0, 0.002, 0.08, 0.82, 0.1, 7500, 0.7},
    {organ, "Organ", sine, fm(0.16, 1, sine, 2, sine), 0, 0.03, 0.08, 0.95, 0.18, 18000, 0.7},
    {kick, "Synth Kick", sine, fm(0.75, 1, sine, 0.5, sine), -24, 0.002, 0.18, 0, 0.03, 5000, 0.7},
    {snare, "Noise Snare", sine, fm(0.9, 1, square, 7.13, sine), 0, 0.002, 0.13, 0, 0.04, 9000, 0.7},
    {hiHat, "Metal Hat", sine, fm(1.0, 1, square, 11.7, sine), 18, 0.002, 0.045, 0, 0.02, 16000, 0.7},
};

} // namespace

TEST(InstrumentPresets, ListTenPresetsInOrderNamedByTheirRawValues)
{
    ASSERT_EQ(allInstrumentPresets.size(), std::size(presetSounds));
    for (std::size_t i = 0; i < allInstrumentPresets.size(); ++i) {
        EXPECT_EQ(allInstrumentPresets[i], presetSounds[i].preset);
        EXPECT_EQ(toRawValue(presetSounds[i].preset), presetSounds[i].name);
        EXPECT_EQ(fromRawValue<InstrumentPreset>(presetSounds[i].name), presetSounds[i].preset);
    }
    EXPECT_FALSE(fromRawValue<InstrumentPreset>("organ"));
    EXPECT_FALSE(fromRawValue<InstrumentPreset>("Pluck"));
    EXPECT_FALSE(fromRawValue<InstrumentPreset>(""));
}

TEST(InstrumentPresets, BuildEveryValueOfTheirSound)
{
    for (const auto& sound : presetSounds) {
        const auto made = instrument(sound.preset);
        SCOPED_TRACE(sound.name);
        EXPECT_EQ(made.name, sound.name);
        EXPECT_EQ(made.source, InstrumentSource{SynthSource{sound.waveform}});
        EXPECT_EQ(made.fm, sound.fm);
        EXPECT_EQ(made.tune, sound.tune);
        EXPECT_EQ(made.attack, sound.attack);
        EXPECT_EQ(made.decay, sound.decay);
        EXPECT_EQ(made.sustain, sound.sustain);
        EXPECT_EQ(made.release, sound.release);
        EXPECT_EQ(made.cutoff, sound.cutoff);
        EXPECT_EQ(made.resonance, sound.resonance);
        // What no preset sets keeps the value a new synth has.
        EXPECT_EQ(made.volume, 0.85);
        EXPECT_EQ(made.pan, 0);
        EXPECT_FALSE(made.sampleEdit || made.favorite || made.tags);
    }
}

TEST(InstrumentPresets, MakeANewInstrumentOnEveryCall)
{
    const auto first = instrument(InstrumentPreset::organ);
    auto second = instrument(InstrumentPreset::organ);
    EXPECT_NE(first.id, second.id);
    second.id = first.id;
    EXPECT_EQ(first, second);
}
