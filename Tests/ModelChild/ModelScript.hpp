#pragma once

// The edits the crash tests make, shared by the child program that makes them and the test that knows
// what they must leave behind.

#include "Veltrane/Model/AppModel.hpp"

#include <sstream>
#include <string>

namespace veltrane::testing {

inline KeyPress typedKey(std::string text) { return KeyPress{.text = std::move(text)}; }

/// Notes, a volume and an effect typed into the grid, and a rename through the edit transaction.
inline void runEditScript(AppModel& model)
{
    model.setOctave(4);
    model.select(0, 3, CellField::note, false);
    for (const char* key : {"z", "x", "c", "v", "`"}) model.handleKey(typedKey(key));
    model.select(0, 4, CellField::volume, false);
    for (const char* key : {"3", "0", "4", "0"}) model.handleKey(typedKey(key));
    model.select(5, 5, CellField::effect1, false);
    for (const char* key : {"d", "8"}) model.handleKey(typedKey(key));
    model.mutate([](Project& project) { project.name = "Crash Test"; });
}

/// The cells of the first pattern and the project's name, as text to compare across processes (the
/// identifiers of a new project are random, so whole projects differ between runs).
inline std::string describeDocument(const Project& project)
{
    std::ostringstream text;
    text << project.name << ';';
    const auto& pattern = project.patterns.at(0);
    for (int row = 0; row < pattern.rows; ++row) {
        for (int track = 0; track < pattern.channels; ++track) {
            const Cell& cell = pattern.cell(row, track);
            if (cell.isEmpty()) continue;
            text << row << ',' << track << ':';
            if (cell.note) {
                if (const auto pitch = pitchOf(*cell.note)) text << 'p' << *pitch;
                else text << (isNoteOff(*cell.note) ? "off" : "tie");
            }
            if (cell.instrument) text << 'i' << *cell.instrument;
            if (cell.volume) text << 'v' << int(*cell.volume);
            for (const auto& effect : cell.effects) {
                if (effect) text << 'e' << int(effect->type) << '.' << int(effect->value);
            }
            text << ';';
        }
    }
    return text.str();
}

} // namespace veltrane::testing
