#pragma once

// Small hand-made projects for the timeline tests: 120 bpm, 4 rows per beat, no swing, the four synths.
// At 48,000 Hz every row is then 6,000 frames.

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
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

/// A small deterministic generator, so the song below is the same on every run.
struct Dice {
    std::uint32_t state = 12345;
    int roll(int sides)
    {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(sides));
    }
};

/// A song written the way musicians write them: three patterns of different lengths and widths, played in
/// blocks with repeats, swing, notes of every instrument with ties, note-offs and long gates, lock cells with and without an instrument (the
/// track remembers the last one), several locks in one cell, two locks of one target in one cell, and locks
/// of track and master parameters among the instrument ones.
inline Project realisticSong()
{
    Dice dice;
    std::vector<Pattern> patterns{Pattern("Verse", 32, 6), Pattern("Chorus", 16, 8), Pattern("Break", 24, 3)};
    using T = ParameterTarget;
    const std::vector<ParameterTarget> targets{T::instrumentVolume, T::instrumentPan,       T::instrumentTune,
                                 T::instrumentCutoff, T::instrumentResonance, T::instrumentAttack,
                                 T::instrumentRelease, T::instrumentWaveform, T::instrumentFMAmount,
                                 T::trackVolume,      T::masterDelay};
    for (auto& pattern : patterns) {
        for (int row = 0; row < pattern.rows; ++row) {
            for (int track = 0; track < pattern.channels; ++track) {
                Cell cell;
                const int kind = dice.roll(10);
                if (kind < 4) cell.note = NotePitch{36 + dice.roll(48)};
                if (kind < 4 && dice.roll(4) == 0) cell.gate = 0.5 + dice.roll(12);
                if (kind == 4) cell.note = NoteOff{};
                if (kind == 5) cell.note = NoteTie{};
                if (dice.roll(3) != 0) cell.instrument = dice.roll(5);
                const int locks = dice.roll(5) == 0 ? 1 + dice.roll(3) : 0;
                for (int i = 0; i < locks; ++i) {
                    const ParameterTarget target = targets[static_cast<std::size_t>(dice.roll(static_cast<int>(targets.size())))];
                    const auto range = veltrane::range(target);
                    cell.locks.push_back({target, range.lowerBound + (range.upperBound - range.lowerBound) * dice.roll(101) / 100.0});
                }
                pattern.setCell(row, track, std::move(cell));
            }
        }
    }
    Project project = timelineProject(std::move(patterns));
    project.swing = 0.3;
    project.arrangement->blocks = {SongBlock{.pattern = 0, .repeats = 2}, SongBlock{.pattern = 1, .repeats = 1},
                                   SongBlock{.pattern = 2, .repeats = 3}, SongBlock{.pattern = 1, .repeats = 2}};
    project.instruments.push_back(Instrument::withFM("FM", FMSettings{.amount = 0.4}));
    return project;
}

} // namespace veltrane::testing
