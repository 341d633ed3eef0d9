#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include "VeltraneCore/Automation/InstrumentLanes.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

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

/// The rows a scope lists, held as runs of passes of one pattern rather than row by row: a song of
/// thousands of blocks of 64 repeats costs a few bytes per block here, whatever its length. Only the
/// first `maximumTimelineRows` rows are listed.
class RowListing {
public:
    RowListing(const Project& project, const PlaybackScope& scope, int startRow, int startBlock)
    {
        const int patternCount = static_cast<int>(project.patterns.size());
        const auto rowsOf = [&](int pattern) { return project.patterns[static_cast<std::size_t>(pattern)].rows; };

        if (const auto* single = std::get_if<PatternScope>(&scope)) {
            const int pattern = single->index >= 0 && single->index < patternCount ? single->index : 0;
            append(pattern, std::nullopt, std::clamp(startRow, 0, rowsOf(pattern) - 1), rowsOf(pattern), 1);
            return;
        }

        const auto blocks = songBlocks(project);
        if (blocks.empty()) return;
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

        bool firstPass = true;
        for (int b = firstBlock; b <= endBlock && size_ < maximumTimelineRows; ++b) {
            const auto& block = blocks[static_cast<std::size_t>(b)];
            // A block naming no pattern cannot be played; it is passed over rather than guessed at.
            if (block.pattern < 0 || block.pattern >= patternCount || block.repeats <= 0) continue;
            const int rows = rowsOf(block.pattern);
            int passes = block.repeats;
            if (firstPass) {
                // The very first pass listed begins at the start row; every later one at row 0.
                append(block.pattern, b, std::clamp(startRow, 0, rows - 1), rows, 1);
                firstPass = false;
                --passes;
            }
            if (passes > 0) append(block.pattern, b, 0, rows, passes);
        }
    }

    std::int64_t size() const { return size_; }

    /// The listed row at `index` (0 to size - 1).
    ListedRow at(std::int64_t index) const
    {
        const auto run = std::upper_bound(runs_.begin(), runs_.end(), index,
                                          [](std::int64_t i, const Run& r) { return i < r.firstListed; }) - 1;
        const std::int64_t offset = index - run->firstListed;
        return {run->patternIndex, run->orderPosition,
                run->firstRow + static_cast<int>(offset % (run->endRow - run->firstRow))};
    }

    /// Calls `visit(index, row)` for the listed rows from `from` up to, not including, `to`, in order.
    template <typename Visit>
    void forEach(std::int64_t from, std::int64_t to, Visit&& visit) const
    {
        to = std::min(to, size_);
        if (from >= to) return;
        auto run = std::upper_bound(runs_.begin(), runs_.end(), from,
                                    [](std::int64_t i, const Run& r) { return i < r.firstListed; }) - 1;
        for (std::int64_t index = from; index < to; ++run) {
            int row = run->firstRow + static_cast<int>((index - run->firstListed) % (run->endRow - run->firstRow));
            const std::int64_t runEnd = std::min(run->firstListed + run->rowCount, to);
            for (; index < runEnd; ++index) {
                visit(index, ListedRow{run->patternIndex, run->orderPosition, row});
                if (++row == run->endRow) row = run->firstRow;
            }
        }
    }

private:
    struct Run {
        std::int64_t firstListed = 0; // the listed index of the run's first row
        std::int64_t rowCount = 0;    // passes × rows per pass, or fewer where the listing is cut
        int patternIndex = 0;
        std::optional<int> orderPosition;
        int firstRow = 0; // every pass lists the rows from here
        int endRow = 0;   // up to, not including, this one
    };

    void append(int pattern, std::optional<int> orderPosition, int firstRow, int endRow, std::int64_t passes)
    {
        const std::int64_t rows = std::min(passes * (endRow - firstRow), maximumTimelineRows - size_);
        if (rows <= 0) return;
        runs_.push_back({size_, rows, pattern, orderPosition, firstRow, endRow});
        size_ += rows;
    }

    std::vector<Run> runs_;
    std::int64_t size_ = 0;
};

/// Times listed rows one after another. Every start is rounded from the accumulated seconds, so rounding
/// never drifts, and the same rows always give the same frames, however a listing is walked.
struct RowClock {
    double base = 0;
    double shift = 0;
    double sampleRate = 0;
    double seconds = 0; // where the next row starts

    struct Timed {
        std::int64_t startFrame;
        std::int64_t durationFrames;
    };

    Timed next(int row)
    {
        const std::int64_t start = framesForSeconds(seconds, sampleRate);
        seconds += rowSeconds(base, shift, row);
        return {start, std::max<std::int64_t>(1, framesForSeconds(seconds, sampleRate) - start)};
    }
};

RowClock clockOf(const Project& project, double sampleRate)
{
    return {60.0 / project.bpm / project.rowsPerBeat, swingShift(project.swing), sampleRate, 0};
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

const Cell* cellAt(const Project& project, const ListedRow& entry)
{
    return project.patterns[static_cast<std::size_t>(entry.patternIndex)].cells.row(entry.row).data();
}

int channelsOf(const Project& project, const ListedRow& entry)
{
    return project.patterns[static_cast<std::size_t>(entry.patternIndex)].channels;
}

int widestPattern(const Project& project)
{
    int trackCount = 0;
    for (const auto& pattern : project.patterns) trackCount = std::max(trackCount, pattern.channels);
    return trackCount;
}

/// The instrument each track remembers at listed row `first`: the last one named on it before. A window
/// that starts later takes over what the rows before it left, found by looking back from its first row.
std::vector<std::optional<int>> instrumentsBefore(const Project& project, const RowListing& listing,
                                                  std::int64_t first, int trackCount)
{
    const int instrumentCount = static_cast<int>(project.instruments.size());
    std::vector<std::optional<int>> instrumentMemory(static_cast<std::size_t>(trackCount));
    std::vector<bool> remembered(static_cast<std::size_t>(trackCount), false);
    int unresolved = trackCount;
    for (std::int64_t j = first - 1; j >= 0 && unresolved > 0; --j) {
        const ListedRow entry = listing.at(j);
        const Cell* cells = cellAt(project, entry);
        for (int track = 0; track < std::min(channelsOf(project, entry), trackCount); ++track) {
            const auto t = static_cast<std::size_t>(track);
            const auto& instrument = cells[track].instrument;
            if (remembered[t] || !instrument || *instrument < 0 || *instrument >= instrumentCount) continue;
            instrumentMemory[t] = instrument;
            remembered[t] = true;
            --unresolved;
        }
    }
    return instrumentMemory;
}

} // namespace

void forEachTimelineLock(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                         double sampleRate, std::int64_t fromRow,
                         const std::function<bool(const TimelineLockEvent& event)>& visit)
{
    if (!canBeTimed(project, sampleRate)) return;
    const RowListing listing(project, scope, startRow, startBlock);
    const int trackCount = widestPattern(project);
    const std::int64_t first = std::clamp<std::int64_t>(fromRow, 0, listing.size());
    if (trackCount == 0 || first >= listing.size()) return;
    const int instrumentCount = static_cast<int>(project.instruments.size());
    std::vector<std::optional<int>> instrumentMemory = instrumentsBefore(project, listing, first, trackCount);

    RowClock clock = clockOf(project, sampleRate);
    bool stopped = false;
    TimelineLockEvent event;
    listing.forEach(0, listing.size(), [&](std::int64_t index, const ListedRow& entry) {
        if (stopped) return;
        const RowClock::Timed timed = clock.next(entry.row);
        // A song too long to be timed lists no rows at all, so it has no lanes to read.
        if (timed.startFrame > maximumTimelineFrames) stopped = true;
        if (stopped || index < first) return;
        const Cell* cells = cellAt(project, entry);
        for (int track = 0; track < std::min(channelsOf(project, entry), trackCount) && !stopped; ++track) {
            const Cell& cell = cells[track];
            auto& memory = instrumentMemory[static_cast<std::size_t>(track)];
            std::optional<int> lockInstrument = memory;
            if (cell.instrument) {
                lockInstrument = cell.instrument;
                if (*cell.instrument >= 0 && *cell.instrument < instrumentCount) memory = cell.instrument;
            }
            if (cell.locks.empty()) continue;
            event.frame = timed.startFrame;
            event.track = track;
            event.instrument = lockInstrument;
            event.locks = cell.locks;
            event.patternIndex = entry.patternIndex;
            event.row = entry.row;
            stopped = !visit(event);
        }
    });
}

double rowDuration(double bpm, int rowsPerBeat, int row, double swing)
{
    if (!(bpm > 0) || rowsPerBeat < 1) return 0;
    return rowSeconds(60.0 / bpm / rowsPerBeat, swingShift(swing), row);
}

TimelineLength playbackTimelineLength(const Project& project, const PlaybackScope& scope, int startRow,
                                      int startBlock, double sampleRate)
{
    TimelineLength length;
    length.sampleRate = sampleRate;
    if (!canBeTimed(project, sampleRate)) return length;
    const RowListing listing(project, scope, startRow, startBlock);
    RowClock clock = clockOf(project, sampleRate);
    RowClock::Timed last{0, 0};
    listing.forEach(0, listing.size(), [&](std::int64_t, const ListedRow& row) { last = clock.next(row.row); });
    // Frames beyond the bound would overflow the sums of a timeline's frames: such a scope is not timed.
    if (framesForSeconds(clock.seconds, sampleRate) > maximumTimelineFrames) return length;
    length.rows = listing.size();
    length.totalFrames = listing.size() > 0 ? last.startFrame + last.durationFrames : 0;
    return length;
}

PlaybackTimeline playbackTimeline(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                  double sampleRate, bool cyclic)
{
    return playbackTimeline(project, scope, startRow, startBlock, sampleRate, cyclic,
                            TimelineWindow{0, maximumTimelineRows});
}

PlaybackTimeline playbackTimeline(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                                  double sampleRate, bool cyclic, TimelineWindow window)
{
    PlaybackTimeline timeline;
    timeline.sampleRate = sampleRate;
    if (!canBeTimed(project, sampleRate)) return timeline;

    const RowListing listing(project, scope, startRow, startBlock);
    const std::int64_t listedCount = listing.size();
    if (listedCount == 0) return timeline;
    const std::int64_t first = std::clamp<std::int64_t>(window.firstRow, 0, listedCount);
    const std::int64_t last = first + std::clamp<std::int64_t>(window.rowCount, 0, listedCount - first);
    const auto windowRows = static_cast<std::size_t>(last - first);

    // Row timing, for every listed row: the window's frames and the total length both need the rows
    // before them. Only the window's rows are kept.
    RowClock clock = clockOf(project, sampleRate);
    double secondsAfterWindow = 0;
    RowClock::Timed lastTimed{0, 0};
    std::vector<ListedRow> listed;
    listed.reserve(windowRows);
    timeline.rows.reserve(windowRows);
    bool distinctStarts = true;
    listing.forEach(0, listedCount, [&](std::int64_t index, const ListedRow& entry) {
        if (index == last) secondsAfterWindow = clock.seconds;
        lastTimed = clock.next(entry.row);
        if (index < first || index >= last) return;
        if (!timeline.rows.empty() && timeline.rows.back().startFrame == lastTimed.startFrame) distinctStarts = false;
        timeline.rows.push_back(
            {lastTimed.startFrame, lastTimed.durationFrames, entry.patternIndex, entry.orderPosition, entry.row});
        listed.push_back(entry);
    });
    // Frames beyond the bound (an absurd sample rate) would overflow the sums below: not timed at all.
    if (framesForSeconds(clock.seconds, sampleRate) > maximumTimelineFrames) return PlaybackTimeline{.sampleRate = sampleRate};
    timeline.totalFrames = lastTimed.startFrame + lastTimed.durationFrames;
    const std::int64_t totalFrames = timeline.totalFrames;

    const int trackCount = widestPattern(project);
    if (trackCount == 0 || windowRows == 0) return timeline;

    const int instrumentCount = static_cast<int>(project.instruments.size());
    const auto playsNote = [instrumentCount](const Cell& cell) {
        if (!cell.note || !cell.instrument || *cell.instrument < 0 || *cell.instrument >= instrumentCount) return false;
        const auto pitch = pitchOf(*cell.note);
        // A pitch outside MIDI's range cannot be played or written to a MIDI file: it stays silent
        // (it still cuts the note before it, as any pitch does).
        return pitch && *pitch >= 0 && *pitch <= 127;
    };
    const auto cellsOf = [&](const ListedRow& entry) {
        const auto& pattern = project.patterns[static_cast<std::size_t>(entry.patternIndex)];
        return RowCells{pattern.cells.row(entry.row).data(), pattern.channels};
    };

    // The events of a large song take tens of megabytes; counting them first lets each list be filled in
    // place once instead of being copied as it grows.
    std::vector<RowCells> rowCells;
    rowCells.reserve(windowRows);
    std::size_t noteCount = 0;
    std::size_t lockCount = 0;
    for (const auto& entry : listed) {
        const RowCells cells = cellsOf(entry);
        rowCells.push_back(cells);
        for (int track = 0; track < std::min(cells.channels, trackCount); ++track) {
            noteCount += playsNote(cells.cells[track]) ? 1 : 0;
            lockCount += cells.cells[track].locks.empty() ? 0 : 1;
        }
    }
    timeline.notes.reserve(noteCount);
    timeline.noteOffs.reserve(noteCount);
    timeline.locks.reserve(lockCount);

    // Rows outside the window, timed on demand for the notes whose lengths reach them: the rows after
    // the window for the scans on, the rows from the first one for the wrap into the next cycle. Each is
    // timed once, in order, on from where the last one ended.
    struct OutsideRows {
        RowClock clock;
        std::int64_t firstIndex;
        std::vector<RowClock::Timed> times;
        std::vector<RowCells> cells;
    };
    RowClock afterClock = clock;
    afterClock.seconds = secondsAfterWindow;
    RowClock fromStart = clock;
    fromStart.seconds = 0;
    OutsideRows after{afterClock, last, {}, {}};
    OutsideRows before{fromStart, 0, {}, {}};
    struct RowView {
        std::int64_t startFrame;
        std::int64_t durationFrames;
        RowCells cells;
    };
    const auto rowAt = [&](std::int64_t index) -> RowView {
        if (index >= first && index < last) {
            const auto k = static_cast<std::size_t>(index - first);
            return {timeline.rows[k].startFrame, timeline.rows[k].durationFrames, rowCells[k]};
        }
        OutsideRows& side = index >= last ? after : before;
        const std::int64_t known = side.firstIndex + static_cast<std::int64_t>(side.times.size());
        listing.forEach(known, index + 1, [&](std::int64_t, const ListedRow& entry) {
            side.times.push_back(side.clock.next(entry.row));
            side.cells.push_back(cellsOf(entry));
        });
        const auto k = static_cast<std::size_t>(index - side.firstIndex);
        return {side.times[k].startFrame, side.times[k].durationFrames, side.cells[k]};
    };

    const std::int64_t limit = cyclic ? 2 * totalFrames : totalFrames;

    // The length of the note at listed row `index` on `track`, from its gate, the ties after it and the
    // first cell that cuts it; with `cyclic`, the scan wraps into the next cycle.
    const auto noteEnd = [&](std::int64_t index, int track, double gate) {
        const RowView own = rowAt(index);
        // A gate's reach is held to the limit first, so an absurd gate cannot overflow the frame sum.
        const std::int64_t reach = std::clamp<std::int64_t>(
            roundHalfAwayFromZero(gate * static_cast<double>(own.durationFrames)), 0, limit);
        std::int64_t end = own.startFrame + reach;
        ScanState state = ScanState::tied;
        bool ranOff = true;
        for (std::int64_t j = index + 1; j < listedCount; ++j) {
            const RowView row = rowAt(j);
            if (row.cells.channels <= track) {
                ranOff = false;
                break;
            }
            if (scanCell(row.cells.cells[track], row.startFrame, row.startFrame + row.durationFrames, state, end) ==
                ScanStep::stop) {
                ranOff = false;
                break;
            }
        }
        if (ranOff && cyclic) {
            // The rows as they sound in the next cycle, up to the note itself, which always ends the scan.
            for (std::int64_t j = 0; j <= index; ++j) {
                const RowView row = rowAt(j);
                if (row.cells.channels <= track) break;
                const std::int64_t start = row.startFrame + totalFrames;
                if (scanCell(row.cells.cells[track], start, start + row.durationFrames, state, end) == ScanStep::stop)
                    break;
            }
        }
        end = std::max(end, own.startFrame + 1);
        return std::min(end, limit);
    };

    std::vector<std::optional<int>> instrumentMemory = instrumentsBefore(project, listing, first, trackCount);

    // Rows are visited in list order and tracks in order within each row. Row start frames rise, so notes
    // and lock events come out ordered by frame with the lower track first, as a stable sort of a
    // track-by-track listing would order them.
    for (std::size_t k = 0; k < windowRows; ++k) {
        const auto& row = timeline.rows[k];
        const auto& listedRow = listed[k];
        const int tracks = std::min(rowCells[k].channels, trackCount);
        for (int track = 0; track < tracks; ++track) {
            const Cell& cell = rowCells[k].cells[track];
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

            const std::int64_t end = noteEnd(first + static_cast<std::int64_t>(k), track, cell.gate.value_or(1.0));
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
