#pragma once

// The tracker panel's editing commands, each one undo step on the current pattern. They are the
// model's own operations where the model has them; until it does, the same pattern operation runs in
// one edit transaction here.

#include "Veltrane/Model/AppModel.hpp"
#include "VeltraneCore/PatternOperations/PatternDynamics.hpp"
#include "VeltraneCore/PatternOperations/PatternTransforms.hpp"

#include <algorithm>
#include <cstddef>

namespace veltrane::tracker {

template <typename Model>
void editCurrentPattern(Model& model, const auto& change)
{
    const int index = model.patternIndex();
    model.mutate([&](Project& project) {
        if (index >= 0 && index < static_cast<int>(project.patterns.size()))
            change(project.patterns[static_cast<std::size_t>(index)]);
    });
}

template <typename Model>
void transpose(Model& model, int semitones)
{
    if constexpr (requires { model.transpose(semitones); }) {
        model.transpose(semitones);
    } else {
        const auto range = model.selection();
        editCurrentPattern(model, [&](Pattern& pattern) { veltrane::transpose(pattern, semitones, range); });
    }
}

template <typename Model>
void rotateRows(Model& model, int offset)
{
    if constexpr (requires { model.rotateRows(offset); }) {
        model.rotateRows(offset);
    } else {
        const auto range = model.selection();
        editCurrentPattern(model, [&](Pattern& pattern) { veltrane::rotateRows(pattern, offset, range); });
    }
}

template <typename Model>
void interpolateVolume(Model& model)
{
    if constexpr (requires { model.interpolateVolume(); }) {
        model.interpolateVolume();
    } else {
        const auto range = model.selection();
        const int track = model.selectedTrack();
        editCurrentPattern(model, [&](Pattern& pattern) {
            veltrane::interpolateVolume(pattern, track, range ? range->startRow : 0,
                                        range ? std::optional<int>(range->endRow) : std::nullopt);
        });
    }
}

/// Writes a parameter lock of `target` into the cell at (`row`, `track`) of the current pattern.
template <typename Model>
void setParameterLock(Model& model, ParameterTarget target, double value, int row, int track)
{
    if constexpr (requires { model.setParameterLock(target, value, row, track); }) {
        model.setParameterLock(target, value, row, track);
    } else {
        const double clampedValue = clamped(target, value);
        const int instrument = model.selectedInstrument();
        const bool instrumentTarget = isInstrumentTarget(target);
        editCurrentPattern(model, [&](Pattern& pattern) {
            if (!pattern.contains(row, track)) return;
            Cell cell = pattern.cell(row, track);
            if (!cell.instrument && instrumentTarget) cell.instrument = instrument;
            auto lock = std::find_if(cell.locks.begin(), cell.locks.end(), [&](const auto& l) { return l.target == target; });
            if (lock != cell.locks.end()) lock->value = clampedValue;
            else cell.locks.push_back(ParameterLock{target, clampedValue});
            pattern.setCell(row, track, std::move(cell));
        });
    }
}

} // namespace veltrane::tracker
