#pragma once

// One tracker grid position. `Cell{}` is the empty cell: no note, instrument, volume or gate, two empty
// effect slots and no locks. Build others with designated initializers:
//
//     Cell{.note = NotePitch{60}, .instrument = 0, .volume = 48}
//
// The two effect columns are a fixed pair, so every cell has exactly two slots by construction; a reader
// with a list of any length fits it with `Cell::fittedEffects` (first two kept, missing ones empty).

#include "VeltraneCore/Models/Effect.hpp"
#include "VeltraneCore/Models/ParameterLock.hpp"
#include "VeltraneCore/Models/StepNote.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

inline constexpr int effectSlotCount = 2;
using EffectSlots = std::array<std::optional<Effect>, effectSlotCount>;

struct Cell {
    std::optional<StepNote> note;
    std::optional<int> instrument;       // index into Project::instruments
    std::optional<std::uint8_t> volume;  // 0 to 64
    EffectSlots effects{};
    std::optional<double> gate;          // note length in rows, 0.01 to 16
    std::vector<ParameterLock> locks;    // at most one per target

    /// Any number of effect entries fitted to the two columns.
    static EffectSlots fittedEffects(std::span<const std::optional<Effect>> entries);

    bool isEmpty() const;

    /// The lock of `target`, if the cell has one.
    const ParameterLock* lock(ParameterTarget target) const;

    friend bool operator==(const Cell&, const Cell&) = default;
};

} // namespace veltrane
