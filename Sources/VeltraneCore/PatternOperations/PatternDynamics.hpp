#pragma once

// Operations that shape the volumes of a pattern's notes. A range of nothing means the whole pattern; a
// given range is clipped first (see PatternClipboard.hpp). Only volumes change.

#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

/// A straight ramp of volumes on one track from row `from` through row `through` (nothing, or a row past
/// the end: the last row), between the volumes the two end cells hold. Every cell between gets a volume,
/// note or not. Nothing happens when the track or `from` lies outside the pattern, when the end is not
/// after `from`, or when either end cell has no volume.
void interpolateVolume(Pattern& pattern, int track, int from, std::optional<int> through);

/// Moves the volume of every cell of the range that holds a note (pitch, note-off or tie) by a random
/// amount from −`amount` to +`amount` around its volume (52 when it has none), held to 1 to 64. The same
/// seed on the same pattern gives the same result. A negative `amount` changes nothing.
void humanize(Pattern& pattern, std::optional<CellRange> in, int amount, std::uint64_t seed);

/// Gives every cell of the range that holds a note the volume of its row's place in the bar: 64 on rows
/// divisible by 16, 52 on the other rows divisible by 4, 40 on the rest (the row's index in the pattern).
void accent(Pattern& pattern, std::optional<CellRange> in = std::nullopt);

} // namespace veltrane
