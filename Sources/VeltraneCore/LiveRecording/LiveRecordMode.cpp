#include "VeltraneCore/LiveRecording/LiveRecordMode.hpp"

namespace veltrane {

std::string_view toRawValue(LiveRecordMode mode)
{
    return mode == LiveRecordMode::step ? "Step" : "Realtime";
}

template <>
std::optional<LiveRecordMode> fromRawValue<LiveRecordMode>(std::string_view rawValue)
{
    for (const auto mode : allLiveRecordModes) {
        if (toRawValue(mode) == rawValue) return mode;
    }
    return std::nullopt;
}

std::string_view toRawValue(LiveRecordWriteMode mode)
{
    return mode == LiveRecordWriteMode::overdub ? "Overdub" : "Replace";
}

template <>
std::optional<LiveRecordWriteMode> fromRawValue<LiveRecordWriteMode>(std::string_view rawValue)
{
    for (const auto mode : allLiveRecordWriteModes) {
        if (toRawValue(mode) == rawValue) return mode;
    }
    return std::nullopt;
}

} // namespace veltrane
