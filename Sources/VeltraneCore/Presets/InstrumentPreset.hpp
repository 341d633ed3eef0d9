#pragma once

// The ten factory instruments the user can add from the instrument list. A preset's raw value is its
// display name, which is also the name of the instrument it builds.
//
//     project.instruments.push_back(instrument(InstrumentPreset::glassBell));

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/RawValue.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace veltrane {

enum class InstrumentPreset : std::uint8_t {
    subBass,
    acidBass,
    pluck,
    warmPad,
    glassBell,
    trackerLead,
    organ,
    kick,
    snare,
    hiHat,
};

inline constexpr std::array<InstrumentPreset, 10> allInstrumentPresets{
    InstrumentPreset::subBass, InstrumentPreset::acidBass,    InstrumentPreset::pluck, InstrumentPreset::warmPad,
    InstrumentPreset::glassBell, InstrumentPreset::trackerLead, InstrumentPreset::organ, InstrumentPreset::kick,
    InstrumentPreset::snare,   InstrumentPreset::hiHat,
};

/// "Sub Bass", "Acid Bass", "Digital Pluck", "Warm Pad", "Glass Bell", "Tracker Lead", "Organ",
/// "Synth Kick", "Noise Snare" or "Metal Hat".
std::string_view toRawValue(InstrumentPreset preset);
template <>
std::optional<InstrumentPreset> fromRawValue<InstrumentPreset>(std::string_view rawValue);

/// A new instrument (with a new identifier on every call) named and voiced as the preset.
Instrument instrument(InstrumentPreset preset);

} // namespace veltrane
