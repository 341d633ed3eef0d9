#pragma once

#include "VeltraneCore/Models/AudioUnitReference.hpp"

#include <optional>
#include <vector>

namespace veltrane {

/// The master section. `MasterFX{}` (bit depth 16 present) also stands for the master effects of a project
/// that has none. A reader clears `bitDepth` itself when the stored section has none.
struct MasterFX {
    double cutoff = 18000;     // 20 to 20000 Hz
    double resonance = 0.7;    // 0.05 to 5
    double drive = 0;          // 0 to 1
    double delayMix = 0;       // 0 to 1
    double delayTime = 0.25;   // seconds, 0.02 to 1
    double delayFeedback = 35; // percent, 0 to 85
    double reverbMix = 0;      // 0 to 1
    std::optional<double> bitDepth = 16.0; // 4 to 16
    std::optional<std::vector<AudioUnitSlot>> audioUnits; // insert chain in processing order, at most 8

    friend bool operator==(const MasterFX&, const MasterFX&) = default;
};

} // namespace veltrane
