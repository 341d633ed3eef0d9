#pragma once

// Small fixtures for the pattern operation tests: patterns whose cells say where they came from.

#include "VeltraneCore/Models/Pattern.hpp"

#include <optional>
#include <vector>

namespace veltrane::testing {

/// A cell that remembers its position: pitch row, instrument track, volume 7, one effect and one lock,
/// so a test sees when a whole cell (not only its note) moved or stayed.
inline Cell markedCell(int row, int track)
{
    return Cell{.note = NotePitch{row % 128},
                .instrument = track,
                .volume = 7,
                .effects = {Effect{EffectType::pan, static_cast<std::uint8_t>(row)}, std::nullopt},
                .gate = 0.5,
                .locks = {{ParameterTarget::trackPan, 0.25}}};
}

inline Pattern markedPattern(int rows, int channels)
{
    Pattern pattern("Marked", rows, channels);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < channels; ++c) pattern.setCell(r, c, markedCell(r, c));
    }
    return pattern;
}

inline Cell noteCell(int pitch, std::optional<std::uint8_t> volume = std::nullopt)
{
    return Cell{.note = NotePitch{pitch}, .volume = volume};
}

/// The pitch at a cell, or -1 for a cell without one.
inline int pitchAt(const Pattern& pattern, int row, int track)
{
    const auto& note = pattern.cell(row, track).note;
    return note && pitchOf(*note) ? *pitchOf(*note) : -1;
}

/// The volumes of one track's rows, -1 for none.
inline std::vector<int> volumesOfTrack(const Pattern& pattern, int track)
{
    std::vector<int> volumes;
    for (int r = 0; r < pattern.rows; ++r) {
        const auto volume = pattern.cell(r, track).volume;
        volumes.push_back(volume ? int{*volume} : -1);
    }
    return volumes;
}

} // namespace veltrane::testing
