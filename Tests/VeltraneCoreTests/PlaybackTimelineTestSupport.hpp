#pragma once

// Small hand-made projects for the timeline tests: 120 bpm, 4 rows per beat, no swing, the four synths.
// At 48,000 Hz every row is then 6,000 frames.

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <utility>
#include <vector>

namespace veltrane::testing {

inline constexpr double kRate = 48000;
inline constexpr std::int64_t kRow = 6000; // one row at 120 bpm, 4 rows per beat, 48 kHz

inline Project timelineProject(std::vector<Pattern> patterns)
{
    Project project;
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.swing = 0.0;
    project.patterns = std::move(patterns);
    project.order.assign(project.patterns.size(), 0);
    for (std::size_t i = 0; i < project.order.size(); ++i) project.order[i] = static_cast<int>(i);
    project.arrangement = SongArrangement{};
    for (std::size_t i = 0; i < project.patterns.size(); ++i)
        project.arrangement->blocks.push_back(SongBlock{.pattern = static_cast<int>(i), .repeats = 1});
    return project;
}

inline Project oneTrackProject(int rows) { return timelineProject({Pattern("P", rows, 1)}); }

inline Cell note(int pitch, int instrument = 0) { return Cell{.note = NotePitch{pitch}, .instrument = instrument}; }
inline Cell tie() { return Cell{.note = NoteTie{}}; }
inline Cell off() { return Cell{.note = NoteOff{}}; }

/// Writes `cells` down one track of pattern `pattern`, from row 0; `std::nullopt` leaves a row as it is.
inline void writeTrack(Project& project, int pattern, int track, const std::vector<std::optional<Cell>>& cells)
{
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (cells[row]) project.patterns[static_cast<std::size_t>(pattern)].setCell(static_cast<int>(row), track, *cells[row]);
    }
}

inline std::vector<std::pair<std::int64_t, std::int64_t>> rowFrames(const PlaybackTimeline& timeline)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> frames;
    for (const auto& row : timeline.rows) frames.emplace_back(row.startFrame, row.durationFrames);
    return frames;
}

} // namespace veltrane::testing
