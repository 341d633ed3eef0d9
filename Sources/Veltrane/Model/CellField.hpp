#pragma once

// The cursor's column inside a cell.

#include <array>
#include <optional>
#include <string_view>

namespace veltrane {

enum class CellField : int { note = 0, instrument = 1, volume = 2, effect1 = 3, effect2 = 4 };

inline constexpr std::array<CellField, 5> allCellFields{CellField::note, CellField::instrument, CellField::volume,
                                                        CellField::effect1, CellField::effect2};

inline constexpr int toRawValue(CellField field) noexcept { return static_cast<int>(field); }

/// The column of a raw value 0 to 4; nothing for any other number.
inline constexpr std::optional<CellField> cellFieldFromRawValue(int rawValue) noexcept
{
    if (rawValue < 0 || rawValue > 4) return std::nullopt;
    return static_cast<CellField>(rawValue);
}

/// The caption the grid and the cell panel show for a column.
inline constexpr std::string_view label(CellField field) noexcept
{
    switch (field) {
    case CellField::note: return "NOTE";
    case CellField::instrument: return "INST";
    case CellField::volume: return "VOL";
    case CellField::effect1: return "FX 1";
    case CellField::effect2: return "FX 2";
    }
    return "NOTE";
}

} // namespace veltrane
