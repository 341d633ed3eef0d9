#pragma once

// Note entry from the computer keyboard: two rows of keys laid out like a piano keyboard. The lower row
// (z to m, with the comma) spans one octave from C; the upper row (q to u, with the digits 2, 3, 5, 6, 7
// as black keys) the next, so the comma and q give the same note.
//
//     keyToNote(U'q', 4) == 60     keyToNote(U'Q', 4) == 60     keyToNote(U'a', 4) == std::nullopt

#include <array>
#include <optional>

namespace veltrane {

struct KeyOffset {
    char32_t key;
    int offset; // semitones above the octave's C
};

inline constexpr std::array<KeyOffset, 25> keyOffsets{{
    {U'z', 0},  {U's', 1},  {U'x', 2},  {U'd', 3},  {U'c', 4},  {U'v', 5},  {U'g', 6},  {U'b', 7},  {U'h', 8},
    {U'n', 9},  {U'j', 10}, {U'm', 11}, {U',', 12}, {U'q', 12}, {U'2', 13}, {U'w', 14}, {U'3', 15}, {U'e', 16},
    {U'r', 17}, {U'5', 18}, {U't', 19}, {U'6', 20}, {U'y', 21}, {U'7', 22}, {U'u', 23},
}};

/// The note of a key (one character, either case) in `octave`: its offset + octave × 12. The result is not
/// held to 0 to 127 (the caller refuses notes above it); an octave so far out that the note cannot be
/// represented gives the nearest representable number. Nothing for a key outside the map.
std::optional<int> keyToNote(char32_t character, int octave);

} // namespace veltrane
