#include "VeltraneCore/Tracker/KeyboardNoteMap.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace veltrane {

std::optional<int> keyToNote(char32_t character, int octave)
{
    // Every key of the map is ASCII, and no other character lower-cases to one of them, so lower-casing
    // ASCII letters alone finds exactly the keys a full case mapping would.
    if (character >= U'A' && character <= U'Z') character += U'a' - U'A';
    const auto found = std::ranges::find(keyOffsets, character, &KeyOffset::key);
    if (found == keyOffsets.end()) return std::nullopt;
    const std::int64_t note = std::int64_t{found->offset} + std::int64_t{octave} * 12;
    return static_cast<int>(std::clamp<std::int64_t>(note, std::numeric_limits<int>::min(),
                                                      std::numeric_limits<int>::max()));
}

} // namespace veltrane
