#pragma once

// The two pattern generators. Each writes generated note cells (the pitch, the instrument and a volume;
// no effects, gate or locks) over whole cells of one track and leaves the rows it does not hit as they
// were. Arguments outside the pattern make them do nothing; none of them fails.

#include "VeltraneCore/Models/Pattern.hpp"

#include <cstdint>
#include <span>

namespace veltrane {

/// One cycle of a Euclidean rhythm of `pulses` hits spread over `steps` rows, from `startRow` down,
/// with volume 52. The first step is always a hit; when fewer rows remain than `steps`, the hits are
/// spread over the rows that remain. Nothing happens when the track or `startRow` lies outside the
/// pattern, when `pulses` or `steps` is below 1, or when `note` is not a MIDI pitch (0 to 127) or
/// `instrument` is negative.
void euclideanFill(Pattern& pattern, int track, int pulses, int steps, int note, int instrument, int startRow);

/// Rows chosen at random with probability `density` (1 or more: nearly every row; negative or NaN: none)
/// get a pitch drawn from `notes` and a volume from 40 to 64. The same seed on the same pattern gives the
/// same result; seed 0 stands for 11400714819323198485. Nothing happens when the track lies outside the
/// pattern, `notes` is empty or `instrument` is negative; a row that draws a pitch outside 0 to 127 is
/// left as it was.
void randomFill(Pattern& pattern, int track, double density, std::span<const int> notes, int instrument,
                std::uint64_t seed);

} // namespace veltrane
