#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include "VeltraneCore/Automation/InstrumentLanes.hpp"
#include "VeltraneCore/Tracker/FrameTime.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane {

namespace {

/// The half of the base row length that swing moves from even rows to odd rows: 0 to 0.5.
double swingShift(double swing)
{
    if (!(swing >= 0)) return 0; // negative or NaN
    return std::min(swing, 1.0) * 0.5;
}

double swingShift(const std::optional<double>& swing) { return swing ? swingShift(*swing) : 0; }

double rowSeconds(double base, double shift, int row) { return row % 2 == 0 ? base * (1 - shift) : base * (1 + shift); }

bool canBeTimed(const Project& project, double sampleRate)
{
    if (!(project.bpm > 0) || !std::isfinite(project.bpm)) return false;
    if (project.rowsPerBeat < 1) return false;
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) return false;
    if (project.patterns.empty()) return false;
    return std::all_of(project.patterns.begin(), project.patterns.end(), [](const Pattern& pattern) {
        return pattern.rows >= 1 && pattern.channels >= 0 && pattern.hasConsistentGrid();
    });
}

/// One listed row before timing: which pattern pass, and where.
struct ListedRow {
    int patternIndex;
    std::optional<int> orderPosition;
    int row;
};

struct Block {
    int pattern;
    int repeats;
};

std::vector<Block> songBlocks(const Project& project)
{
    std::vector<Block> blocks;
    if (project.arrangement) {
        blocks.reserve(project.arrangement->blocks.size());
        for (const auto& block : project.arrangement->blocks) blocks.push_back({block.pattern, block.repeats});
    } else {
        blocks.reserve(project.order.size());
        for (int pattern : project.order) blocks.push_back({pattern, 1});
    }
    return blocks;
}

std::vector<ListedRow> listRows(const Project& project, const PlaybackScope& scope, int startRow, int startBlock)
{
    const int patternCount = static_cast<int>(project.patterns.size());
    std::vector<ListedRow> listed;

    if (const auto* single = std::get_if<PatternScope>(&scope)) {
        const int pattern = single->index >= 0 && single->index < patternCount ? single->index : 0;
        const int rows = project.patterns[static_cast<std::size_t>(pattern)].rows;
        const int first = std::clamp(startRow, 0, rows - 1);
        listed.reserve(static_cast<std::size_t>(rows - first));
        for (int row = first; row < rows; ++row) listed.push_back({pattern, std::nullopt, row});
        return listed;
    }

    const auto blocks = songBlocks(project);
    if (blocks.empty()) return listed;
    const int lastBlock = static_cast<int>(blocks.size()) - 1;

    int firstBlock = 0;
    int endBlock = lastBlock;
    if (std::holds_alternative<SongLoopScope>(scope)) {
        if (project.arrangement && project.arrangement->loop.enabled) {
            // Indexes outside the block list are passed over; a region that ends before it starts is empty.
            firstBlock = std::max(project.arrangement->loop.startBlock, 0);
            endBlock = std::min(project.arrangement->loop.endBlock, lastBlock);
        }
    } else {
        firstBlock = std::clamp(startBlock, 0, lastBlock);
    }

    std::size_t total = 0;
    for (int b = firstBlock; b <= endBlock; ++b) {
        const auto& block = blocks[static_cast<std::size_t>(b)];
        if (block.pattern < 0 || block.pattern >= patternCount || block.repeats <= 0) continue;
        total += static_cast<std::size_t>(block.repeats) *
                 static_cast<std::size_t>(project.patterns[static_cast<std::size_t>(block.pattern)].rows);
    }
    listed.reserve(total);

    bool firstPass = true;
    for (int b = firstBlock; b <= endBlock; ++b) {
        const auto& block = blocks[static_cast<std::size_t>(b)];
        // A block naming no pattern cannot be played; it is passed over rather than guessed at.
        if (block.pattern < 0 || block.pattern >= patternCount) continue;
        const int rows = project.patterns[static_cast<std::size_t>(block.pattern)].rows;
        for (int pass = 0; pass < block.repeats; ++pass) {
            const int first = firstPass ? std::clamp(startRow, 0, rows - 1) : 0;
            firstPass = false;
            for (int row = first; row < rows; ++row) listed.push_back({block.pattern, b, row});
        }
    }
    return listed;
}

/// Read-only view of one listed row's cells on every track, for the per-track scans.
struct RowCells {
    const Cell* cells;
    int channels;
};

enum class ScanState { tied, open };

/// Where a scan of the rows after a note stands: still running, or stopped with the note's end set.
enum class ScanStep { goOn, stop };

/// One step of the scan after a note: the rules for the cell at the row starting at `rowStart`.
ScanStep scanCell(const Cell& cell, std::int64_t rowStart, std::int64_t rowEnd, ScanState& state, std::int64_t& end)
{
    if (!cell.note) {
        state = ScanState::open;
        return ScanStep::goOn;
    }
    if (state == ScanState::tied && isTie(*cell.note)) {
        end = rowEnd;
        return ScanStep::goOn;
    }
    end = std::min(end, rowStart);
    return ScanStep::stop;
}

} // namespace

double rowDuration(double bpm, int rowsPerBeat, int row, double swing)
{
    if (!(bpm > 0) || rowsPerBeat < 1) return 0;
    return rowSeconds(60.0 / bpm / rowsPerBeat, swingShift(swing), row);
}

PlaybackTimeline playbackTimeline(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                  double sampleRate, bool cyclic)
{
    PlaybackTimeline timeline;
    timeline.sampleRate = sampleRate;
    if (!canBeTimed(project, sampleRate)) return timeline;

    const auto listed = listRows(project, scope, startRow, startBlock);
    if (listed.empty()) return timeline;
    const std::size_t rowCount = listed.size();

    // Row timing: every start is rounded from the accumulated seconds, so rounding never drifts.
    const double base = 60.0 / project.bpm / project.rowsPerBeat;
    const double shift = swingShift(project.swing);
    timeline.rows.reserve(rowCount);
    bool distinctStarts = true;
    double seconds = 0;
    for (const auto& entry : listed) {
        const std::int64_t start = framesForSeconds(seconds, sampleRate);
        seconds += rowSeconds(base, shift, entry.row);
        const std::int64_t duration = std::max<std::int64_t>(1, framesForSeconds(seconds, sampleRate) - start);
        if (!timeline.rows.empty() && timeline.rows.back().startFrame == start) distinctStarts = false;
        timeline.rows.push_back({start, duration, entry.patternIndex, entry.orderPosition, entry.row});
    }
    const auto& lastRow = timeline.rows.back();
    timeline.totalFrames = lastRow.startFrame + lastRow.durationFrames;
    const std::int64_t totalFrames = timeline.totalFrames;

    int trackCount = 0;
    for (const auto& pattern : project.patterns) trackCount = std::max(trackCount, pattern.channels);
    if (trackCount == 0) return timeline;

    const int instrumentCount = static_cast<int>(project.instruments.size());
    const auto playsNote = [instrumentCount](const Cell& cell) {
        if (!cell.note || !cell.instrument || *cell.instrument < 0 || *cell.instrument >= instrumentCount) return false;
        const auto pitch = pitchOf(*cell.note);
        // A pitch outside MIDI's range cannot be played or written to a MIDI file: it stays silent
        // (it still cuts the note before it, as any pitch does).
        return pitch && *pitch >= 0 && *pitch <= 127;
    };

    // The events of a large song take tens of megabytes; counting them first lets each list be filled in
    // place once instead of being copied as it grows.
    std::vector<RowCells> rowCells;
    rowCells.reserve(rowCount);
    std::size_t noteCount = 0;
    std::size_t lockCount = 0;
    for (const auto& entry : listed) {
        const auto& pattern = project.patterns[static_cast<std::size_t>(entry.patternIndex)];
        const RowCells cells{pattern.cells.row(entry.row).data(), pattern.channels};
        rowCells.push_back(cells);
        for (int track = 0; track < std::min(cells.channels, trackCount); ++track) {
            noteCount += playsNote(cells.cells[track]) ? 1 : 0;
            lockCount += cells.cells[track].locks.empty() ? 0 : 1;
        }
    }
    timeline.notes.reserve(noteCount);
    timeline.noteOffs.reserve(noteCount);
    timeline.locks.reserve(lockCount);

    const std::int64_t limit = cyclic ? 2 * totalFrames : totalFrames;

    // The length of the note at listed row `index` on `track`, from its gate, the ties after it and the
    // first cell that cuts it; with `cyclic`, the scan wraps into the next cycle.
    const auto noteEnd = [&](std::size_t index, int track, double gate) {
        const auto& own = timeline.rows[index];
        // A gate's reach is held to the limit first, so an absurd gate cannot overflow the frame sum.
        const std::int64_t reach = std::clamp<std::int64_t>(
            roundHalfAwayFromZero(gate * static_cast<double>(own.durationFrames)), 0, limit);
        std::int64_t end = own.startFrame + reach;
        ScanState state = ScanState::tied;
        bool ranOff = true;
        for (std::size_t j = index + 1; j < rowCount; ++j) {
            if (rowCells[j].channels <= track) {
                ranOff = false;
                break;
            }
            const auto& row = timeline.rows[j];
            if (scanCell(rowCells[j].cells[track], row.startFrame, row.startFrame + row.durationFrames, state, end) ==
                ScanStep::stop) {
                ranOff = false;
                break;
            }
        }
        if (ranOff && cyclic) {
            // The rows as they sound in the next cycle, up to the note itself, which always ends the scan.
            for (std::size_t j = 0; j <= index; ++j) {
                if (rowCells[j].channels <= track) break;
                const auto& row = timeline.rows[j];
                const std::int64_t start = row.startFrame + totalFrames;
                if (scanCell(rowCells[j].cells[track], start, start + row.durationFrames, state, end) == ScanStep::stop)
                    break;
            }
        }
        end = std::max(end, own.startFrame + 1);
        return std::min(end, limit);
    };

    // Rows are visited in list order and tracks in order within each row. Row start frames rise, so notes
    // and lock events come out ordered by frame with the lower track first, as a stable sort of a
    // track-by-track listing would order them.
    std::vector<std::optional<int>> instrumentMemory(static_cast<std::size_t>(trackCount));
    for (std::size_t index = 0; index < rowCount; ++index) {
        const auto& row = timeline.rows[index];
        const auto& listedRow = listed[index];
        const int tracks = std::min(rowCells[index].channels, trackCount);
        for (int track = 0; track < tracks; ++track) {
            const Cell& cell = rowCells[index].cells[track];
            auto& memory = instrumentMemory[static_cast<std::size_t>(track)];

            std::optional<int> lockInstrument = memory;
            if (cell.instrument) {
                lockInstrument = cell.instrument;
                if (*cell.instrument >= 0 && *cell.instrument < instrumentCount) memory = cell.instrument;
            }
            if (!cell.locks.empty()) {
                timeline.locks.push_back(
                    {row.startFrame, track, lockInstrument, cell.locks, listedRow.patternIndex, listedRow.row});
            }

            if (!playsNote(cell)) continue;
            const int pitch = std::get<NotePitch>(*cell.note).value;

            const std::int64_t end = noteEnd(index, track, cell.gate.value_or(1.0));
            const double volume = cell.volume ? std::min<int>(*cell.volume, 64) / 64.0 : 1.0;
            timeline.notes.push_back({row.startFrame, end - row.startFrame, track, pitch, *cell.instrument, volume,
                                      interpret(cell.effects), cell.locks, listedRow.patternIndex, listedRow.row});
            timeline.noteOffs.push_back({end, track, pitch});
        }
    }

    if (!distinctStarts) {
        // Rows shorter than a frame share start frames; restore the track-first order among equal frames.
        std::stable_sort(timeline.notes.begin(), timeline.notes.end(), [](const auto& a, const auto& b) {
            return a.startFrame != b.startFrame ? a.startFrame < b.startFrame : a.track < b.track;
        });
        std::stable_sort(timeline.locks.begin(), timeline.locks.end(), [](const auto& a, const auto& b) {
            return a.frame != b.frame ? a.frame < b.frame : a.track < b.track;
        });
    }

    // Note-offs at one frame are ordered by track, then by their notes' order on the track. The note-offs
    // were made in the notes' order, so a stable sort by (frame, track) gives that; most timelines are
    // already in order, which the check finds in one pass.
    const auto offBefore = [](const TimelineNoteOffEvent& a, const TimelineNoteOffEvent& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.track < b.track;
    };
    if (!std::is_sorted(timeline.noteOffs.begin(), timeline.noteOffs.end(), offBefore)) {
        std::stable_sort(timeline.noteOffs.begin(), timeline.noteOffs.end(), offBefore);
    }
    if (!timeline.locks.empty()) timeline.instrumentLanes = std::make_shared<const InstrumentLanes>(timeline.locks);
    return timeline;
}

} // namespace veltrane
