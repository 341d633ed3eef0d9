#include "VeltraneCore/Tracker/KeyboardNoteMap.hpp"
#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <set>

using namespace veltrane;

TEST(NoteNames, NameThePitchClassAndTheOctaveWithoutOffset)
{
    const std::pair<int, const char*> cases[] = {
        {60, "C-5"}, {61, "C#5"}, {0, "C-0"},    {127, "G-10"}, {69, "A-5"}, {70, "A#5"}, {11, "B-0"},
        {120, "C-10"}, {baseNote, "C-5"}, {66, "F#5"}, {64, "E-5"}, {-1, "B--1"}, {-12, "C--1"}, {-13, "B--2"},
    };
    for (const auto& [note, name] : cases) EXPECT_EQ(noteName(note), name) << note;
    for (int note = 0; note <= 127; ++note) EXPECT_EQ(noteName(note).size(), note < 120 ? 3u : 4u) << note;
    EXPECT_NO_THROW((void)noteName(INT_MIN));
    EXPECT_NO_THROW((void)noteName(INT_MAX));
}

TEST(KeyboardNoteMap, PlaysTwoRowsOfKeysLikeAPiano)
{
    struct Case {
        char32_t key;
        int octave;
        std::optional<int> note;
    };
    const Case cases[] = {
        {U'Q', 4, 60}, {U',', 4, 60}, {U'q', 4, 60}, {U'z', 0, 0},   {U'u', 9, 131}, {U'a', 4, std::nullopt},
        {U'Z', 5, 60}, {U's', 5, 61}, {U'm', 5, 71}, {U'2', 5, 73},  {U'7', 5, 82},  {U'U', 5, 83},
        {U'`', 5, std::nullopt},      {U'1', 5, std::nullopt},       {U'Ü', 5, std::nullopt},
        {U'z', -1, -12},              {U'u', INT_MAX, INT_MAX},      {U'z', INT_MIN, INT_MIN},
        {U'\u212A', 5, std::nullopt}, // the Kelvin sign lower-cases to k, which is not a key
    };
    for (const auto& [key, octave, note] : cases) {
        EXPECT_EQ(keyToNote(key, octave), note) << static_cast<std::uint32_t>(key) << " in octave " << octave;
    }
}

TEST(KeyboardNoteMap, CoversEverySemitoneOfTwoOctavesOnce)
{
    ASSERT_EQ(keyOffsets.size(), 25u);
    std::set<int> offsets;
    std::set<char32_t> keys;
    for (const auto& [key, offset] : keyOffsets) {
        offsets.insert(offset);
        keys.insert(key);
        EXPECT_EQ(keyToNote(key, 3), 36 + offset);
    }
    EXPECT_EQ(keys.size(), 25u);
    EXPECT_EQ(offsets.size(), 24u); // the comma and q share 12
    EXPECT_EQ(*offsets.begin(), 0);
    EXPECT_EQ(*offsets.rbegin(), 23);
}
