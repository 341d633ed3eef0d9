#pragma once

// Raw-value enumerations (the ones the project file writes as strings) share one spelling:
//
//     std::string_view toRawValue(Waveform);              // an overload per enumeration
//     std::optional<Waveform> fromRawValue<Waveform>(sv);  // a specialisation per enumeration
//
// `fromRawValue` accepts exactly the raw values (case-sensitive) and yields nothing for any other string.

#include <optional>
#include <string_view>

namespace veltrane {

template <class Enum>
std::optional<Enum> fromRawValue(std::string_view rawValue);

} // namespace veltrane
