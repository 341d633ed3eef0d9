#include "VeltraneCore/Models/Cell.hpp"

#include <algorithm>

namespace veltrane {

EffectSlots Cell::fittedEffects(std::span<const std::optional<Effect>> entries)
{
    EffectSlots slots{};
    const auto count = std::min(entries.size(), slots.size());
    std::copy_n(entries.begin(), count, slots.begin());
    return slots;
}

bool Cell::isEmpty() const { return *this == Cell{}; }

const ParameterLock* Cell::lock(ParameterTarget target) const
{
    const auto found = std::find_if(locks.begin(), locks.end(),
                                    [target](const ParameterLock& entry) { return entry.target == target; });
    return found == locks.end() ? nullptr : &*found;
}

} // namespace veltrane
