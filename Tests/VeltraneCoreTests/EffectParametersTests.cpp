#include "VeltraneCore/Models/Cell.hpp"
#include "VeltraneCore/Tracker/EffectParameters.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace veltrane;

namespace {

EffectParameters read(std::vector<std::optional<Effect>> slots) { return interpret(slots); }

EffectParameters with(auto change)
{
    EffectParameters parameters;
    change(parameters);
    return parameters;
}

} // namespace

TEST(EffectParameters, NoSlotsOrOnlyEmptySlotsGiveTheNeutralSet)
{
    const EffectParameters neutral;
    EXPECT_FALSE(neutral.pan);
    EXPECT_EQ(neutral.delayFraction, 0);
    EXPECT_EQ(neutral.retriggers, 1);
    EXPECT_TRUE(neutral.arpeggio.empty());
    EXPECT_FALSE(neutral.vibrato);
    EXPECT_FALSE(neutral.tremolo);
    EXPECT_FALSE(neutral.slide);
    EXPECT_TRUE(neutral.chord.empty());
    EXPECT_EQ(neutral.chance, 1.0);

    EXPECT_EQ(read({}), neutral);
    EXPECT_EQ(read({std::nullopt, std::nullopt}), neutral);
    EXPECT_EQ(interpret(Cell{}.effects), neutral);
}

TEST(EffectParameters, EachTypeSetsItsFields)
{
    struct Case {
        const char* name;
        Effect effect;
        EffectParameters expected;
    };
    const std::vector<Case> cases{
        {"arpeggio 0x47", {EffectType::arpeggio, 0x47}, with([](auto& p) { p.arpeggio = {4, 7}; })},
        {"arpeggio 0x00 is present", {EffectType::arpeggio, 0x00}, with([](auto& p) { p.arpeggio = {0, 0}; })},
        {"retrigger 0x04", {EffectType::retrigger, 0x04}, with([](auto& p) { p.retriggers = 4; })},
        {"retrigger 0x30 ignores hi", {EffectType::retrigger, 0x30}, with([](auto& p) { p.retriggers = 1; })},
        {"retrigger 0xFF", {EffectType::retrigger, 0xFF}, with([](auto& p) { p.retriggers = 15; })},
        {"pan 0x00", {EffectType::pan, 0x00}, with([](auto& p) { p.pan = -1.0; })},
        {"pan 0xFF", {EffectType::pan, 0xFF}, with([](auto& p) { p.pan = 1.0; })},
        {"pan 0x80", {EffectType::pan, 0x80}, with([](auto& p) { p.pan = 128 / 255.0 * 2 - 1; })},
        {"delay 0x0F", {EffectType::delay, 0x0F}, with([](auto& p) { p.delayFraction = 15.0 / 16; })},
        {"delay 0xF4 ignores hi", {EffectType::delay, 0xF4}, with([](auto& p) { p.delayFraction = 0.25; })},
        {"vibrato 0x37", {EffectType::vibrato, 0x37}, with([](auto& p) { p.vibrato = EffectOscillation{3, 56}; })},
        {"vibrato 0x05 rate 1", {EffectType::vibrato, 0x05}, with([](auto& p) { p.vibrato = EffectOscillation{1, 40}; })},
        {"vibrato 0x00", {EffectType::vibrato, 0x00}, with([](auto& p) { p.vibrato = EffectOscillation{1, 0}; })},
        {"vibrato 0xFF", {EffectType::vibrato, 0xFF}, with([](auto& p) { p.vibrato = EffectOscillation{15, 120}; })},
        {"tremolo 0xF0 flat", {EffectType::tremolo, 0xF0}, with([](auto& p) { p.tremolo = EffectOscillation{15, 0}; })},
        {"tremolo 0x0F rate 1", {EffectType::tremolo, 0x0F}, with([](auto& p) { p.tremolo = EffectOscillation{1, 1}; })},
        {"tremolo 0x25", {EffectType::tremolo, 0x25}, with([](auto& p) { p.tremolo = EffectOscillation{2, 5 / 15.0}; })},
        {"slide ignores value", {EffectType::slide, 0x9A}, with([](auto& p) { p.slide = true; })},
        {"chord 0x37", {EffectType::chord, 0x37}, with([](auto& p) { p.chord = {3, 7}; })},
        {"chord 0x00 is present", {EffectType::chord, 0x00}, with([](auto& p) { p.chord = {0, 0}; })},
        {"chance 0x00", {EffectType::chance, 0x00}, with([](auto& p) { p.chance = 0; })},
        {"chance 0xFF", {EffectType::chance, 0xFF}, with([](auto& p) { p.chance = 1; })},
        {"chance 0x80", {EffectType::chance, 0x80}, with([](auto& p) { p.chance = 128 / 255.0; })},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read({c.effect}), c.expected) << c.name;
        // The second column means the same as the first.
        EXPECT_EQ(read({std::nullopt, c.effect}), c.expected) << c.name << " in the second slot";
    }
    // Every type has a row in the table.
    for (auto type : allEffectTypes) {
        EXPECT_NE(read({Effect{type, 0x35}}), EffectParameters{}) << toRawValue(type);
    }
}

TEST(EffectParameters, ALaterSlotOfTheSameTypeWins)
{
    EXPECT_EQ(read({Effect{EffectType::pan, 0x00}, Effect{EffectType::pan, 0xFF}}).pan, 1.0);
    EXPECT_EQ(read({Effect{EffectType::vibrato, 0x37}, Effect{EffectType::vibrato, 0x05}}).vibrato,
              (EffectOscillation{1, 40}));
    EXPECT_EQ(read({Effect{EffectType::arpeggio, 0x47}, Effect{EffectType::arpeggio, 0x03}}).arpeggio,
              (SemitoneOffsets{0, 3}));
}

TEST(EffectParameters, DifferentTypesInBothSlotsCombine)
{
    const auto parameters = read({Effect{EffectType::retrigger, 0x03}, Effect{EffectType::chord, 0x47}});
    EXPECT_EQ(parameters.retriggers, 3);
    EXPECT_EQ(parameters.chord, (SemitoneOffsets{4, 7}));
    EXPECT_TRUE(parameters.arpeggio.empty());
    EXPECT_EQ(parameters.chance, 1.0);
}

TEST(EffectParameters, SemitoneOffsetsIterateLikeAList)
{
    const SemitoneOffsets offsets{4, 7};
    EXPECT_EQ(std::vector<int>(offsets.begin(), offsets.end()), (std::vector<int>{4, 7}));
    EXPECT_EQ(offsets.size(), 2u);
    EXPECT_EQ(offsets[1], 7);
    const SemitoneOffsets none;
    EXPECT_EQ(none.begin(), none.end());
    EXPECT_EQ(SemitoneOffsets(-300, 300), SemitoneOffsets(-127, 127));
    EXPECT_NE(none, (SemitoneOffsets{0, 0}));
}
