#pragma once

// The built-in oscillator shapes. Locks, automation and modulation carry a waveform as a number: its
// position 0 to 3 (`parameterValue`), read back by `waveformFromParameter`, which rounds.

#include "VeltraneCore/Models/RawValue.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace veltrane {

enum class Waveform : std::uint8_t { sine, triangle, saw, square };

inline constexpr std::array<Waveform, 4> allWaveforms{Waveform::sine, Waveform::triangle, Waveform::saw,
                                                      Waveform::square};

/// "sine", "triangle", "saw" or "square".
std::string_view toRawValue(Waveform waveform);
template <>
std::optional<Waveform> fromRawValue<Waveform>(std::string_view rawValue);

/// The waveform's position in `allWaveforms`, 0 to 3.
constexpr double parameterValue(Waveform waveform) { return static_cast<double>(waveform); }

/// The number rounded to the nearest position (halves away from zero) and held to 0 to 3. A NaN gives
/// `sine`, infinities the nearest end.
Waveform waveformFromParameter(double value);

} // namespace veltrane
