#include "VeltranePlayback/NotePlan/NoteChance.hpp"

namespace veltrane {

namespace {

// Spreads the frame across the word before the track is added, so neighbouring frames land far apart.
constexpr std::uint64_t frameMultiplier = 0xF42D4C957F2DULL;

// Without an offset, frame 0 would hash only the small track number, and a multiply-and-add of small
// inputs leaves the middle bits (the ones the roll reads) all zero: every note on the first row of a
// song would then survive any chance. The offset and the avalanche finisher below make every input bit
// reach every output bit.
constexpr std::uint64_t offset = 0x9E3779B97F4A7C15ULL;

std::uint64_t avalanche(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

} // namespace

double chanceRoll(std::int64_t positionFrame, int track)
{
    // Unsigned arithmetic wraps, so any frame, negative or huge, hashes without overflow.
    const std::uint64_t h = avalanche(static_cast<std::uint64_t>(positionFrame) * frameMultiplier +
                                      (static_cast<std::uint64_t>(static_cast<std::int64_t>(track)) + 1) + offset);
    return static_cast<double>((h >> 32) & 0xFFFF) / 65535.0;
}

bool noteSurvivesChance(std::int64_t positionFrame, int track, double chance)
{
    return chanceRoll(positionFrame, track) <= chance;
}

} // namespace veltrane
