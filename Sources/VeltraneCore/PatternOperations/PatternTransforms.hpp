#pragma once

// Operations that move notes and cells around in a pattern or change its size. A range of nothing means
// the whole pattern; a given range is clipped first (see PatternClipboard.hpp). Out-of-range arguments are
// clamped or make the operation do nothing; none of them fails. Only the cells (and, for the two size
// operations, `rows` and `channels`) change; the identifier and the name never do.

#include "VeltraneCore/Models/CellRange.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <optional>

namespace veltrane {

/// Raises every pitch of the range by `semitones` where the result stays within 0 to 127; a pitch that
/// would leave that range is left as it was (no clamping, no wrapping). Note-offs, ties and every other
/// field are untouched, so transposing back restores what moved.
void transpose(Pattern& pattern, int semitones, std::optional<CellRange> in = std::nullopt);

/// Rotates the whole cells of each track of the range by `offset` rows: positive moves them down, and
/// what passes the range's last row re-enters at its first; negative moves them up. The offset counts
/// modulo the range's row count, so a whole turn, or a range of one row, changes nothing.
void rotateRows(Pattern& pattern, int offset, std::optional<CellRange> in = std::nullopt);

/// Appends a copy of the pattern to itself, up to 256 rows: 1 to 128 rows end with an exact second copy;
/// 129 to 255 rows grow to 256 and copy as many leading rows as fit; 256 rows stay as they are.
void doubleLength(Pattern& pattern);

/// Sets the size, clamped to 1 to 256 rows and 1 to 32 channels (nothing keeps the current value). Rows
/// and cells are removed or appended at the end; the cells that remain keep their row and track.
void resize(Pattern& pattern, std::optional<int> rows, std::optional<int> channels);

} // namespace veltrane
