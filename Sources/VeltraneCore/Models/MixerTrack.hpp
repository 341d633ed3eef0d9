#pragma once

#include "VeltraneCore/Models/AudioUnitReference.hpp"

#include <optional>
#include <vector>

namespace veltrane {

/// One track strip; the mixer holds one per pattern channel.
struct MixerTrack {
    double volume = 0.85; // 0 to 1
    double pan = 0;       // -1 to 1
    bool muted = false;
    bool solo = false;
    std::optional<double> cutoff;    // 20 to 20000 Hz
    std::optional<double> resonance; // 0.05 to 5
    std::optional<double> drive;     // 0 to 1
    std::optional<std::vector<AudioUnitSlot>> audioUnits; // insert chain in processing order, at most 8

    friend bool operator==(const MixerTrack&, const MixerTrack&) = default;
};

} // namespace veltrane
