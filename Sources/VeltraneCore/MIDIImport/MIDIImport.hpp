#pragma once

// Reads a Standard MIDI File into one tracker pattern and a tempo. The conversion is coarse on purpose:
// every MIDI channel becomes a column, every note start a cell on the row nearest its tick, and a note
// end a note-off cell where that cell is still free. Controllers, pitch bend, pressure, system exclusive
// data and every meta event but Set Tempo are dropped.
//
//     ImportedMIDI imported = importMIDI(bytes, 4);   // throws MIDIImportError for a file it refuses
//
// Only files whose division counts ticks per quarter note are read; formats 0, 1 and 2 are all merged
// into the one pattern. Cells carry the MIDI program as their instrument number: the caller turns
// programs into instruments of the project.

#include "VeltraneCore/MIDIImport/MIDIImportError.hpp"
#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Pattern.hpp"

#include <cstdint>
#include <span>

namespace veltrane {

struct ImportedMIDI {
    double bpm = 120;  // always inside the project's tempo range, 20 to 400
    Pattern pattern;   // "Imported MIDI": 1 to 256 rows, one column per used MIDI channel

    friend bool operator==(const ImportedMIDI&, const ImportedMIDI&) = default;
};

/// The notes and tempo of a Standard MIDI File at `rowsPerBeat` rows per quarter note. Pure: reads only
/// `bytes`, never past their end. Throws MIDIImportError (Case::invalid) for every file it refuses.
ImportedMIDI importMIDI(std::span<const std::uint8_t> bytes, int rowsPerBeat);

inline ImportedMIDI importMIDI(const Data& bytes, int rowsPerBeat) { return importMIDI(bytes.bytes(), rowsPerBeat); }

} // namespace veltrane
