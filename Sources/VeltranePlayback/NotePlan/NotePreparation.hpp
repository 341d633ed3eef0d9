#pragma once

// The instrument a note sounds with, in one fixed order: the project's instrument under the note's own
// locks, then its automation lanes at the note's start (the base instrument), then its modulation routes
// evaluated at the note's start (the start instrument, which the voice renders with). Continuous
// modulation later moves volume, pan and filter from the base instrument over the note.
//
//     auto [base, start] = prepareNoteInstrument(project.instruments[i], i, track, locks, frame,
//                                                durationFrames, project, timeline, sampleRate);
//
// Live playback and the export prepare every note here. Pure.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/ParameterLock.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <span>

namespace veltrane {

struct PreparedInstrument {
    Instrument base;  // locks and automation
    Instrument start; // and modulation at the note's start
};

/// `instrument` (number `index` of the project) prepared for a note on `track` starting at `frame` and
/// lasting `durationFrames` (the length its envelope sources see), at `sampleRate`.
PreparedInstrument prepareNoteInstrument(const Instrument& instrument, int index, int track,
                                         std::span<const ParameterLock> locks, std::int64_t frame,
                                         std::int64_t durationFrames, const Project& project,
                                         const PlaybackTimeline& timeline, double sampleRate);

} // namespace veltrane
