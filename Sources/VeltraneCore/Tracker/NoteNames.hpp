#pragma once

// The tracker's three-character note names, as the grid and the cell inspector show them: a pitch class
// of two characters (sharps only, a natural padded with "-") and the octave, note / 12 with no offset.
//
//     noteName(60) == "C-5"    noteName(61) == "C#5"    noteName(127) == "G-10"

#include <array>
#include <string>
#include <string_view>

namespace veltrane {

/// The note named C-5.
inline constexpr int baseNote = 60;

inline constexpr std::array<std::string_view, 12> pitchClassNames{
    "C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-",
};

/// The name of a MIDI note number. Notes below 0 never reach the grid; they are named by the same rule
/// counted downwards (−1 is "B--1") rather than refused.
std::string noteName(int note);

} // namespace veltrane
