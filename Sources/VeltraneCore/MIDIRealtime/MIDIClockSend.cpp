#include "VeltraneCore/MIDIRealtime/MIDIClockSend.hpp"

#include "VeltraneCore/MIDIRealtime/SongPosition.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

MIDIClockStart midiClockStart(const Project& project, bool songMode, int startBlock, int startRow)
{
    std::int64_t position = 0;
    if (songMode) {
        position = midiSongPosition(startBlock, startRow, project);
    } else {
        position = std::max<std::int64_t>(0, static_cast<std::int64_t>(startRow) * 4 / std::max(project.rowsPerBeat, 1));
    }
    const int sent = static_cast<int>(position & 0x3FFF);
    MIDIClockStart start;
    start.songPosition = sent;
    start.songPositionPointer = {{0xF2, static_cast<std::uint8_t>(sent & 0x7F), static_cast<std::uint8_t>((sent >> 7) & 0x7F)}, 3};
    start.startOrContinue = {{sent == 0 ? midiStart : midiContinue, 0, 0}, 1};
    return start;
}

MIDIClockSchedule::MIDIClockSchedule(std::uint64_t originNanos, double bpm)
    : origin_(originNanos), intervalNanos_(std::isfinite(bpm) && bpm > 0 ? 60e9 / bpm / 24.0 : 0.0)
{
}

std::uint64_t MIDIClockSchedule::timeOf(std::int64_t index) const
{
    return origin_ + static_cast<std::uint64_t>(std::llround(static_cast<double>(index) * intervalNanos_));
}

std::vector<std::uint64_t> MIDIClockSchedule::takeUntil(std::uint64_t horizonNanos)
{
    std::vector<std::uint64_t> times;
    if (intervalNanos_ <= 0) return times;
    while (timeOf(taken_) <= horizonNanos) {
        times.push_back(timeOf(taken_));
        ++taken_;
    }
    return times;
}

MIDISeekTarget midiSeekTarget(int position, const Project& project, bool songMode, int patternIndex)
{
    MIDISeekTarget target;
    if (songMode) {
        const auto location = songLocation(position, project);
        target.songBlock = location.block;
        if (project.arrangement && location.block >= 0 && static_cast<std::size_t>(location.block) < project.arrangement->blocks.size()) {
            target.patternIndex = project.arrangement->blocks[static_cast<std::size_t>(location.block)].pattern;
        }
        target.row = location.row;
        return target;
    }
    const std::int64_t rows = std::max<std::int64_t>(0, static_cast<std::int64_t>(position) * project.rowsPerBeat / 4);
    std::int64_t patternRows = 0;
    if (patternIndex >= 0 && static_cast<std::size_t>(patternIndex) < project.patterns.size()) {
        patternRows = project.patterns[static_cast<std::size_t>(patternIndex)].rows;
    }
    target.row = patternRows > 0 ? static_cast<int>(std::min(rows % patternRows, patternRows - 1)) : 0;
    return target;
}

} // namespace veltrane
