#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <cstdint>

namespace veltrane {

std::string noteName(int note)
{
    // Floored division in 64 bits keeps the pitch class an index of the table for every note, negative
    // ones included, without overflow at the ends of the integer range.
    const std::int64_t value = note;
    const std::int64_t octave = value >= 0 ? value / 12 : -((11 - value) / 12);
    const std::int64_t pitchClass = value - octave * 12;
    std::string name(pitchClassNames[static_cast<std::size_t>(pitchClass)]);
    name += std::to_string(octave);
    return name;
}

} // namespace veltrane
