#pragma once

// Writes a project's song as a Standard MIDI File, format 1: a tempo track, then one note track per
// pattern channel (the largest pattern decides how many), holding the notes exactly as the song timeline
// plays them: blocks and repeats, swing, gates, ties and cuts. Each note keeps its start, length, key,
// velocity (the cell volume) and its instrument as the program number; effects, parameter locks and
// mixer settings are not written.
//
//     Data file = midiFile(project, 480);
//
// Pattern channels 16 to 31 send on MIDI channels 0 to 15 again, each in its own track. Pure: touches no
// file; the caller writes the bytes.

#include "VeltraneCore/Models/Data.hpp"
#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

/// The Standard MIDI File of the project's song at `ticksPerBeat` ticks per quarter note (1 to 32767,
/// else std::invalid_argument). A tempo outside 20 to 400 bpm is written, and timed, as the nearest of
/// those two (a tempo that is not a number as 120).
Data midiFile(const Project& project, int ticksPerBeat);

} // namespace veltrane
