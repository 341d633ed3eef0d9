#pragma once

// MIDI synchronisation counts the song position in sixteenth notes (the Song Position Pointer unit, four
// to a beat); the sequencer counts a song block and a row. These convert between the two.
//
// The song is the arrangement's blocks, or, for a project without an arrangement, one block per entry of
// the pattern order, played once. A block plays at least once whatever its repeat count, and a block whose
// pattern index is outside the project's patterns is passed over: it adds no rows.

#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

struct SongLocation {
    int block = 0; // index into the song's blocks
    int row = 0;   // row of that block's pattern, in whichever repeat the position falls

    friend bool operator==(const SongLocation&, const SongLocation&) = default;
};

/// Where a song position (negative counts as 0) falls: position × rowsPerBeat / 4 rows into the song,
/// truncated. A position past the song's end gives the last block and its pattern's last row; an empty
/// song, or a last block without a valid pattern, gives block 0, row 0.
SongLocation songLocation(int forSongPosition, const Project& project);

/// The song position of a row of a block: the rows of every earlier block plus the row (held to the
/// block's pattern), × 4 / rowsPerBeat, truncated. The block is held to the song; an empty song gives 0.
int midiSongPosition(int block, int row, const Project& project);

} // namespace veltrane
