#pragma once

// The chance column decided without randomness: a note's roll comes from a hash of where it starts and
// on which track, so the same note is kept or dropped the same way in every loop cycle, every playback
// and every export.
//
//     noteSurvivesChance(startFrame, track, effects.chance)
//
// Live playback, the export and the audition of entered notes all decide through this one function; the
// audition, which has no timeline position, passes a fresh random position for each hit.

#include <cstdint>

namespace veltrane {

/// The roll of a note starting at `positionFrame` on `track`, 0 to 1 in 65,536 even steps. Every position
/// rolls, frame 0 of track 0 included: the hash is finished by an avalanche mix, so neither a zero frame
/// nor a small track number leaves the roll stuck at 0.
double chanceRoll(std::int64_t positionFrame, int track);

/// True when the note sounds: its roll is at most `chance`. A chance of 1 keeps every note, 0 keeps only
/// the rare note whose roll is exactly 0, and a chance that is not a number keeps none.
bool noteSurvivesChance(std::int64_t positionFrame, int track, double chance);

} // namespace veltrane
