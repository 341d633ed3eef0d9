#pragma once

// How received notes are recorded: where they go (the cursor cell, or the row playing now) and whether
// they add to what the cells hold or empty the rows they pass. The raw values are the recording pickers'
// labels.

#include "VeltraneCore/Models/RawValue.hpp"

#include <array>
#include <string_view>

namespace veltrane {

enum class LiveRecordMode { step, realtime };
inline constexpr std::array<LiveRecordMode, 2> allLiveRecordModes{LiveRecordMode::step, LiveRecordMode::realtime};

/// "Step" or "Realtime".
std::string_view toRawValue(LiveRecordMode mode);
template <>
std::optional<LiveRecordMode> fromRawValue<LiveRecordMode>(std::string_view rawValue);

enum class LiveRecordWriteMode { overdub, replace };
inline constexpr std::array<LiveRecordWriteMode, 2> allLiveRecordWriteModes{LiveRecordWriteMode::overdub,
                                                                            LiveRecordWriteMode::replace};

/// "Overdub" or "Replace".
std::string_view toRawValue(LiveRecordWriteMode mode);
template <>
std::optional<LiveRecordWriteMode> fromRawValue<LiveRecordWriteMode>(std::string_view rawValue);

} // namespace veltrane
