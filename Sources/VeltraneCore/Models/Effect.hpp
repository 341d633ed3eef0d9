#pragma once

// One effect column entry: a type, written as a one-letter code, and an 8-bit value (shown as two
// hexadecimal digits; several types read it as two 4-bit parameters).

#include "VeltraneCore/Models/RawValue.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace veltrane {

enum class EffectType : std::uint8_t { arpeggio, retrigger, pan, delay, vibrato, tremolo, slide, chord, chance };

inline constexpr std::array<EffectType, 9> allEffectTypes{
    EffectType::arpeggio, EffectType::retrigger, EffectType::pan,   EffectType::delay,  EffectType::vibrato,
    EffectType::tremolo,  EffectType::slide,     EffectType::chord, EffectType::chance,
};

/// "A", "R", "P", "D", "V", "T", "S", "H" or "C".
std::string_view toRawValue(EffectType type);
template <>
std::optional<EffectType> fromRawValue<EffectType>(std::string_view rawValue);

struct Effect {
    EffectType type = EffectType::arpeggio;
    std::uint8_t value = 0;

    friend bool operator==(const Effect&, const Effect&) = default;
};

} // namespace veltrane
