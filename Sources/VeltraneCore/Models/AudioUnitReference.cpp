#include "VeltraneCore/Models/AudioUnitReference.hpp"

namespace veltrane {

std::string AudioUnitReference::id() const
{
    return std::to_string(componentType) + "-" + std::to_string(componentSubType) + "-" +
           std::to_string(componentManufacturer);
}

} // namespace veltrane

std::size_t std::hash<veltrane::AudioUnitReference>::operator()(const veltrane::AudioUnitReference& reference) const noexcept
{
    std::size_t seed = 0;
    const auto mix = [&seed](std::size_t value) { seed ^= value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2); };
    mix(reference.componentType);
    mix(reference.componentSubType);
    mix(reference.componentManufacturer);
    mix(std::hash<std::string>{}(reference.name));
    mix(std::hash<std::string>{}(reference.manufacturerName));
    return seed;
}
