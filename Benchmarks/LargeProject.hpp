#pragma once

// The large project the benchmarks measure: 64 patterns of 256 rows by 32 channels, every cell holding a
// note, an instrument, a volume, two effects and one lock.

#include "VeltraneCore/Models/Project.hpp"

#include <string>

namespace veltrane::benchmarks {

inline Project largeProject()
{
    Project project;
    project.patterns.clear();
    for (int p = 0; p < 64; ++p) {
        Pattern pattern("Pattern " + std::to_string(p + 1), 256, 32);
        for (int row = 0; row < pattern.rows; ++row) {
            for (auto& cell : pattern.cells.mutableRow(row)) {
                cell = Cell{
                .note = NotePitch{60},
                .instrument = 1,
                .volume = 48,
                .effects = {Effect{EffectType::vibrato, 0x34}, Effect{EffectType::pan, 0x80}},
                .locks = {{ParameterTarget::instrumentCutoff, 1200}},
                };
            }
        }
        project.patterns.push_back(std::move(pattern));
    }
    project.mixer.resize(32);
    return project;
}

} // namespace veltrane::benchmarks
