#include "VeltraneCore/Models/Effect.hpp"

namespace veltrane {

namespace {
constexpr std::array<std::string_view, 9> effectCodes{"A", "R", "P", "D", "V", "T", "S", "H", "C"};
}

std::string_view toRawValue(EffectType type)
{
    const auto index = static_cast<std::size_t>(type);
    return index < effectCodes.size() ? effectCodes[index] : effectCodes[0];
}

template <>
std::optional<EffectType> fromRawValue<EffectType>(std::string_view rawValue)
{
    for (std::size_t i = 0; i < effectCodes.size(); ++i) {
        if (effectCodes[i] == rawValue) return static_cast<EffectType>(i);
    }
    return std::nullopt;
}

} // namespace veltrane
