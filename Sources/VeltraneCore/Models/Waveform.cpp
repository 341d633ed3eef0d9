#include "VeltraneCore/Models/Waveform.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

std::string_view toRawValue(Waveform waveform)
{
    switch (waveform) {
    case Waveform::sine: return "sine";
    case Waveform::triangle: return "triangle";
    case Waveform::saw: return "saw";
    case Waveform::square: return "square";
    }
    return "sine";
}

template <>
std::optional<Waveform> fromRawValue<Waveform>(std::string_view rawValue)
{
    for (const auto waveform : allWaveforms) {
        if (toRawValue(waveform) == rawValue) return waveform;
    }
    return std::nullopt;
}

Waveform waveformFromParameter(double value)
{
    if (std::isnan(value)) return Waveform::sine;
    // Holding the number to the range before rounding gives the same case as rounding first, and keeps
    // huge numbers away from an integer conversion that would overflow.
    const double position = std::round(std::clamp(value, 0.0, 3.0));
    return static_cast<Waveform>(static_cast<int>(position));
}

} // namespace veltrane
