#pragma once

// Finding an insert slot by its identifier in the slot sequence: every mixer track's chain in track
// order, then the master's.

#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

/// The first slot with `id`, or nullptr.
inline AudioUnitSlot* findAudioUnitSlot(Project& project, const Uuid& id)
{
    const auto findIn = [&](std::optional<std::vector<AudioUnitSlot>>& chain) -> AudioUnitSlot* {
        if (!chain) return nullptr;
        for (auto& slot : *chain) {
            if (slot.id == id) return &slot;
        }
        return nullptr;
    };
    for (auto& track : project.mixer) {
        if (auto* slot = findIn(track.audioUnits)) return slot;
    }
    return project.masterFX ? findIn(project.masterFX->audioUnits) : nullptr;
}

inline const AudioUnitSlot* findAudioUnitSlot(const Project& project, const Uuid& id)
{
    return findAudioUnitSlot(const_cast<Project&>(project), id); // only read through the result
}

} // namespace veltrane
