#include "VeltraneCore/PatternOperations/PatternGenerators.hpp"

#include "VeltraneCore/PatternOperations/PatternExtent.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

constexpr std::uint8_t euclideanVolume = 52;
constexpr std::uint64_t zeroSeedReplacement = 0x9E3779B97F4A7C15ULL;

/// The generator of the random fill. Its constants are part of the document's behaviour: a seed must
/// give the same melody on every machine and in every version.
struct FillGenerator {
    std::uint64_t state;
    std::uint64_t next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state;
    }
};

} // namespace

void euclideanFill(Pattern& pattern, int track, int pulses, int steps, int note, int instrument, int startRow)
{
    const auto extent = patternops::extentOf(pattern);
    // A note or an instrument index the project cannot hold would make the document fail its check on
    // the next load, so such a fill writes nothing.
    if (!extent.containsTrack(track) || pulses < 1 || steps < 1 || !extent.containsRow(startRow)) return;
    if (!patternops::isValidPitch(note) || instrument < 0) return;
    const int length = std::min(extent.rows - startRow, steps);
    const int hits = std::min(length, pulses);
    int accumulator = length - hits;
    const auto hit = patternops::generatedNoteCell(note, instrument, euclideanVolume);
    for (int i = 0; i < length; ++i) {
        accumulator += hits;
        if (accumulator >= length) {
            accumulator -= length;
            patternops::writeCell(pattern, startRow + i, track, hit);
        }
    }
}

void randomFill(Pattern& pattern, int track, double density, std::span<const int> notes, int instrument,
                std::uint64_t seed)
{
    const auto extent = patternops::extentOf(pattern);
    if (!extent.containsTrack(track) || notes.empty() || instrument < 0) return;
    FillGenerator generator{seed == 0 ? zeroSeedReplacement : seed};
    const bool fills = !std::isnan(density) && density >= 0;
    const double threshold = std::min(density, 1.0);
    for (int row = 0; row < extent.rows; ++row) {
        const double chance = static_cast<double>(generator.next() & 0xFFFF) / 65535.0;
        if (!fills || !(chance < threshold)) continue;
        const int pitch = notes[generator.next() % notes.size()];
        const auto volume = static_cast<std::uint8_t>(40 + generator.next() % 25);
        // The generator has stepped as for any other row, so the rest of the melody does not shift.
        if (!patternops::isValidPitch(pitch)) continue;
        patternops::writeCell(pattern, row, track, patternops::generatedNoteCell(pitch, instrument, volume));
    }
}

} // namespace veltrane
