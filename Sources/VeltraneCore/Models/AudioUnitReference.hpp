#pragma once

// A hosted plug-in component by its three codes and its display names, and one insert slot of an effect
// chain. For an LV2 plug-in the type code is 'aumu' (instrument), 'aumf' (other plug-in with a MIDI
// input) or 'aufx' (effect); the sub-type is the FNV-1a hash of the plug-in URI and the manufacturer the
// hash of the URI's host part.

#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace veltrane {

inline constexpr int maxAudioUnitSlots = 8;

struct AudioUnitReference {
    std::uint32_t componentType = 0;
    std::uint32_t componentSubType = 0;
    std::uint32_t componentManufacturer = 0;
    std::string name;
    std::string manufacturerName;

    /// The three codes in decimal joined by "-" (type, sub-type, manufacturer); names take no part.
    std::string id() const;

    friend bool operator==(const AudioUnitReference&, const AudioUnitReference&) = default;
};

struct AudioUnitSlot {
    Uuid id = Uuid::random();
    AudioUnitReference reference;
    std::optional<Data> state; // the unit's saved state
    bool bypassed = false;

    friend bool operator==(const AudioUnitSlot&, const AudioUnitSlot&) = default;
};

} // namespace veltrane

/// Hashes all five fields, like equality.
template <>
struct std::hash<veltrane::AudioUnitReference> {
    std::size_t operator()(const veltrane::AudioUnitReference& reference) const noexcept;
};
