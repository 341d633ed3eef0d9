// Notes, their lengths (gate, ties, cuts, the wrap into the next cycle), note-offs and lock events.

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using Track = std::vector<std::optional<Cell>>;

Cell gated(int pitch, double gate) { return Cell{.note = NotePitch{pitch}, .instrument = 0, .gate = gate}; }

/// The single track of an 8-row pattern, played in pattern scope from row 0.
PlaybackTimeline playTrack(const Track& cells, bool cyclic = false, int rows = 8)
{
    auto project = oneTrackProject(rows);
    writeTrack(project, 0, 0, cells);
    return playbackTimeline(project, PatternScope{0}, 0, 0, kRate, cyclic);
}

std::vector<std::pair<std::int64_t, std::int64_t>> noteSpans(const PlaybackTimeline& timeline)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;
    for (const auto& note : timeline.notes) spans.emplace_back(note.startFrame, note.durationFrames);
    return spans;
}

} // namespace

TEST(PlaybackTimelineNotes, NoteLengthsFollowGateTiesAndCuts)
{
    const std::nullopt_t _ = std::nullopt;
    struct Case {
        const char* name;
        Track cells;
        bool cyclic;
        std::int64_t duration; // of the first note, which starts at row 0
    };
    const std::vector<Case> cases{
        {"gate 1, nothing after", {note(60)}, false, kRow},
        {"gate 4, empty rows after", {gated(60, 4)}, false, 4 * kRow},
        {"gate 4, cut by a note in row 2", {gated(60, 4), _, note(62)}, false, 2 * kRow},
        {"gate 0.5", {gated(60, 0.5)}, false, kRow / 2},
        {"gate 0.01 rounds to 60 frames", {gated(60, 0.01)}, false, 60},
        {"gate 0.00001 still lasts a frame", {gated(60, 0.00001)}, false, 1},
        {"gate 16 ends with the list", {gated(60, 16)}, false, 8 * kRow},
        {"note, tie, tie, empty, pitch", {gated(60, 0.5), tie(), tie(), _, note(62)}, false, 3 * kRow},
        {"a tie replaces a longer gate", {gated(60, 6), tie()}, false, 2 * kRow},
        {"note, empty, tie: the tie cuts", {gated(60, 4), _, tie()}, false, 2 * kRow},
        {"note-off one row after, gate 4", {gated(60, 4), off()}, false, kRow},
        {"a silent pitch still cuts", {gated(60, 4), Cell{.note = NotePitch{62}}}, false, kRow},
        {"a pitch of another track's instrument cuts", {gated(60, 4), _, note(62, 3)}, false, 2 * kRow},
        {"cells without notes do not cut", {gated(60, 3), Cell{.volume = 10}, Cell{.instrument = 2}}, false, 3 * kRow},
        {"huge gate stays inside the list", {gated(60, 1e300)}, false, 8 * kRow},
        {"NaN gate lasts a frame", {gated(60, std::nan(""))}, false, 1},
    };
    for (const auto& c : cases) {
        const auto timeline = playTrack(c.cells, c.cyclic);
        ASSERT_FALSE(timeline.notes.empty()) << c.name;
        EXPECT_EQ(timeline.notes[0].startFrame, 0) << c.name;
        EXPECT_EQ(timeline.notes[0].durationFrames, c.duration) << c.name;
        EXPECT_EQ(timeline.noteOffs[0].frame, c.duration) << c.name;
    }
}

TEST(PlaybackTimelineNotes, AGateIsMeasuredInItsOwnRowsLength)
{
    // With swing 0.5 row 0 lasts 4,500 frames: gate 2 is 9,000 frames although rows 0 and 1 span 12,000.
    auto project = oneTrackProject(4);
    project.swing = 0.5;
    writeTrack(project, 0, 0, {gated(60, 2)});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
    EXPECT_EQ(noteSpans(timeline), (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 9000}}));
}

TEST(PlaybackTimelineNotes, CyclicNotesRunIntoTheNextCycle)
{
    const std::nullopt_t _ = std::nullopt;
    const std::int64_t total = 4 * kRow;
    struct Case {
        const char* name;
        Track cells;
        bool cyclic;
        std::int64_t start, duration; // of the note in the last row unless said
    };
    const std::vector<Case> cases{
        {"last row, tie in row 0, cyclic", {tie(), _, _, note(60)}, true, 3 * kRow, 2 * kRow},
        {"last row, tie in row 0, not cyclic", {tie(), _, _, note(60)}, false, 3 * kRow, kRow},
        {"gate 3 in the last row, cut by row 0's note next cycle", {note(50), _, _, gated(60, 3)}, true, 3 * kRow, kRow},
        {"gate 3 in the last row reaches into empty rows", {_, _, off(), gated(60, 3)}, true, 3 * kRow, 3 * kRow},
        {"gate 3, not cyclic, ends with the list", {_, _, off(), gated(60, 3)}, false, 3 * kRow, kRow},
        {"empty row 0 then a tie: cut at the tie", {_, tie(), _, gated(60, 3)}, true, 3 * kRow, 2 * kRow},
        {"tied through: cut where it starts again", {note(60), tie(), tie(), tie()}, true, 0, total},
        {"long gate, tied through, at most two cycles", {tie(), gated(60, 16), tie(), tie()}, true, kRow, total},
    };
    for (const auto& c : cases) {
        const auto timeline = playTrack(c.cells, c.cyclic, 4);
        EXPECT_EQ(timeline.totalFrames, total);
        const auto found = std::find_if(timeline.notes.begin(), timeline.notes.end(),
                                        [&](const auto& n) { return n.startFrame == c.start; });
        ASSERT_NE(found, timeline.notes.end()) << c.name;
        EXPECT_EQ(found->durationFrames, c.duration) << c.name;
        EXPECT_LE(found->startFrame + found->durationFrames, c.cyclic ? 2 * total : total) << c.name;
    }
}

TEST(PlaybackTimelineNotes, ATrackMissingFromANarrowerPatternEndsTheScan)
{
    // A and C have two tracks, B between them only one. Track 1's gate-4 note in A's last row keeps its
    // gate: the scan stops at B and never meets the note that C has on track 1.
    auto project = timelineProject({Pattern("A", 2, 2), Pattern("B", 1, 1), Pattern("C", 4, 2)});
    writeTrack(project, 0, 1, {std::nullopt, gated(60, 4)});
    writeTrack(project, 2, 1, {note(62)});
    writeTrack(project, 0, 0, {std::nullopt, gated(48, 4)});
    writeTrack(project, 1, 0, {note(50)});
    const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, kRate, false);
    ASSERT_EQ(timeline.notes.size(), 4u);
    EXPECT_EQ(timeline.notes[0].track, 0);
    EXPECT_EQ(timeline.notes[0].durationFrames, kRow); // cut by B's note on track 0
    EXPECT_EQ(timeline.notes[1].track, 1);
    EXPECT_EQ(timeline.notes[1].durationFrames, 4 * kRow);
    EXPECT_EQ(timeline.notes[3].note, 62);
    EXPECT_EQ(timeline.notes[3].startFrame, 3 * kRow);
}

TEST(PlaybackTimelineNotes, ATrackMissingFromANarrowerPatternEndsTheWrap)
{
    // A's last-row note on track 1 would be extended by the tie in A's row 0 in the next cycle, but the
    // cycle begins with B, which lacks track 1.
    auto project = timelineProject({Pattern("A", 2, 2), Pattern("B", 1, 1)});
    writeTrack(project, 0, 1, {tie(), note(60)});
    project.arrangement->blocks = {SongBlock{.pattern = 0}};
    EXPECT_EQ(playbackTimeline(project, SongScope{}, 0, 0, kRate, true).notes.at(0).durationFrames, 2 * kRow);
    project.arrangement->blocks = {SongBlock{.pattern = 1}, SongBlock{.pattern = 0}};
    EXPECT_EQ(playbackTimeline(project, SongScope{}, 0, 0, kRate, true).notes.at(0).durationFrames, kRow);
}

TEST(PlaybackTimelineNotes, NoteEventsCarryTheCellsValues)
{
    auto project = oneTrackProject(4);
    const std::vector<ParameterLock> locks{{ParameterTarget::instrumentCutoff, 800}, {ParameterTarget::trackPan, -0.5}};
    writeTrack(project, 0, 0,
               {Cell{.note = NotePitch{64}, .instrument = 2, .volume = 32,
                     .effects = {Effect{EffectType::arpeggio, 0x47}, Effect{EffectType::pan, 0xFF}}, .locks = locks},
                note(65, 1)});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
    ASSERT_EQ(timeline.notes.size(), 2u);

    TimelineNoteEvent expected{.startFrame = 0, .durationFrames = kRow, .track = 0, .note = 64, .instrument = 2,
                               .volume = 0.5, .locks = locks, .patternIndex = 0, .row = 0};
    expected.effects.arpeggio = {4, 7};
    expected.effects.pan = 1.0;
    EXPECT_EQ(timeline.notes[0], expected);
    EXPECT_EQ(timeline.notes[1].volume, 1.0);
    // A volume above 64 (only in a project that was never repaired) plays at full level, not louder.
    writeTrack(project, 0, 0, {std::nullopt, std::nullopt, Cell{.note = NotePitch{60}, .instrument = 0, .volume = 255}});
    EXPECT_EQ(playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false).notes.at(2).volume, 1.0);
    EXPECT_EQ(timeline.notes[1].instrument, 1);
    EXPECT_EQ(timeline.notes[1].row, 1);
    EXPECT_EQ(timeline.noteOffs, (std::vector<TimelineNoteOffEvent>{{kRow, 0, 64}, {2 * kRow, 0, 65}}));
}

TEST(PlaybackTimelineNotes, OnlyPitchesWithTheirOwnValidInstrumentPlay)
{
    const auto timeline = playTrack({Cell{.instrument = 1}, Cell{.note = NotePitch{60}}, note(61, 4), note(62, -1),
                                     Cell{.note = NotePitch{200}, .instrument = 0}, note(63, 3), off(), tie()});
    ASSERT_EQ(timeline.notes.size(), 1u);
    EXPECT_EQ(timeline.notes[0].note, 63);
    EXPECT_EQ(timeline.notes[0].instrument, 3);
    EXPECT_EQ(timeline.noteOffs.size(), 1u);
}

TEST(PlaybackTimelineNotes, EventsAtOneFrameComeLowerTrackFirst)
{
    auto project = timelineProject({Pattern("P", 4, 3)});
    writeTrack(project, 0, 2, {note(72), gated(73, 0.5)});
    writeTrack(project, 0, 0, {note(60), gated(61, 2)});
    writeTrack(project, 0, 1, {std::nullopt, gated(66, 0.5), Cell{.locks = {{ParameterTarget::trackVolume, 0.1}}}});
    writeTrack(project, 0, 0, {std::nullopt, std::nullopt, Cell{.locks = {{ParameterTarget::trackVolume, 0.2}}}});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);

    std::vector<std::pair<std::int64_t, int>> notes, offs, locks;
    for (const auto& n : timeline.notes) notes.emplace_back(n.startFrame, n.track);
    for (const auto& n : timeline.noteOffs) offs.emplace_back(n.frame, n.note);
    for (const auto& l : timeline.locks) locks.emplace_back(l.frame, l.track);
    EXPECT_EQ(notes, (decltype(notes){{0, 0}, {0, 2}, {kRow, 0}, {kRow, 1}, {kRow, 2}}));
    // Track 1's and 2's half-row notes end together at 9,000, before track 0's second note at 18,000.
    EXPECT_EQ(offs, (decltype(offs){{kRow, 60}, {kRow, 72}, {9000, 66}, {9000, 73}, {3 * kRow, 61}}));
    EXPECT_EQ(locks, (decltype(locks){{2 * kRow, 0}, {2 * kRow, 1}}));
}

TEST(PlaybackTimelineNotes, NoteOffsAtOneFrameAreOrderedByTrackThenByNote)
{
    // A cyclic timeline: track 1's note in the last row wraps and ends at the same frame as track 0's
    // second-cycle notes; a stable order by track, then by the notes' order, holds.
    auto project = timelineProject({Pattern("P", 2, 2)});
    writeTrack(project, 0, 1, {tie(), gated(70, 1)});
    writeTrack(project, 0, 0, {note(60), note(61)});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, true);
    std::vector<std::tuple<std::int64_t, int, int>> offs;
    for (const auto& n : timeline.noteOffs) offs.emplace_back(n.frame, n.track, n.note);
    EXPECT_EQ(offs, (decltype(offs){{kRow, 0, 60}, {2 * kRow, 0, 61}, {3 * kRow, 1, 70}}));
}

TEST(PlaybackTimelineNotes, RowsShorterThanAFrameKeepTheTrackFirstOrder)
{
    // At 4 Hz a row is half a frame: rows 1 and 2 both start at frame 1.
    auto project = timelineProject({Pattern("P", 4, 2)});
    writeTrack(project, 0, 0, {std::nullopt, note(60), note(61)});
    writeTrack(project, 0, 1, {std::nullopt, note(70), note(71)});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, 4, false);
    std::vector<std::pair<int, int>> order;
    for (const auto& n : timeline.notes) order.emplace_back(n.track, n.note);
    EXPECT_EQ(order, (decltype(order){{0, 60}, {0, 61}, {1, 70}, {1, 71}}));
    for (const auto& n : timeline.notes) EXPECT_GE(n.durationFrames, 1);
}

TEST(PlaybackTimelineNotes, LockEventsNameTheInstrumentTheTrackLastChose)
{
    const ParameterLock cutoff{ParameterTarget::instrumentCutoff, 500};
    const auto locked = [&](std::optional<int> instrument, std::optional<StepNote> n = std::nullopt) {
        return Cell{.note = n, .instrument = instrument, .locks = {cutoff}};
    };
    auto project = timelineProject({Pattern("P", 6, 2)});
    writeTrack(project, 0, 0,
               {locked(std::nullopt), Cell{.instrument = 3}, locked(std::nullopt, NoteOff{}), locked(99),
                locked(std::nullopt, NoteTie{}), locked(1, NotePitch{60})});
    writeTrack(project, 0, 1, {locked(std::nullopt, NotePitch{50})});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);

    std::vector<std::tuple<int, int, std::optional<int>>> events;
    for (const auto& e : timeline.locks) {
        EXPECT_EQ(e.locks, std::vector<ParameterLock>{cutoff});
        EXPECT_EQ(e.frame, e.row * kRow);
        events.emplace_back(e.row, e.track, e.instrument);
    }
    EXPECT_EQ(events, (decltype(events){{0, 0, std::nullopt}, {0, 1, std::nullopt}, {2, 0, 3}, {3, 0, 99}, {4, 0, 3}, {5, 0, 1}}));
}

TEST(PlaybackTimelineNotes, ARepeatedRowGivesItsEventsAgain)
{
    auto project = timelineProject({Pattern("A", 2, 1)});
    project.arrangement->blocks = {SongBlock{.pattern = 0, .repeats = 3}};
    writeTrack(project, 0, 0, {Cell{.note = NotePitch{60}, .instrument = 0, .locks = {{ParameterTarget::trackDrive, 0.3}}}});
    const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, kRate, false);
    ASSERT_EQ(timeline.notes.size(), 3u);
    ASSERT_EQ(timeline.locks.size(), 3u);
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(timeline.notes[static_cast<std::size_t>(pass)].startFrame, pass * 2 * kRow);
        EXPECT_EQ(timeline.locks[static_cast<std::size_t>(pass)].frame, pass * 2 * kRow);
    }
}

TEST(PlaybackTimelineNotes, TracksAreCountedOverEveryPatternNotOnlyThoseInScope)
{
    // Pattern 0 has one channel, pattern 1 (not played) has four; a scan over pattern 0 is unaffected.
    auto project = timelineProject({Pattern("A", 2, 1), Pattern("B", 2, 4)});
    writeTrack(project, 0, 0, {gated(60, 2)});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
    ASSERT_EQ(timeline.notes.size(), 1u);
    EXPECT_EQ(timeline.notes[0].durationFrames, 2 * kRow);
}
