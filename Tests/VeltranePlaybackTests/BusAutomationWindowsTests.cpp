// The track and master parameters of a long song are automated from a window of its rows at a time. Lane
// points in other windows (far before, far after, none after), two tracks locking a master parameter at
// one frame, and envelopes that follow a note started in an earlier window must all give exactly what
// the whole timeline gives, in every loop cycle and past the song's end.

#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/Mixdown/BusAutomationWindows.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <set>

namespace veltrane {
namespace {

using testing::noteCell;

constexpr int tracks = 4;

Cell withLocks(Cell cell, std::vector<ParameterLock> locks)
{
    cell.locks = std::move(locks);
    return cell;
}

// 608 rows of 750 frames, three windows: an intro played once, then three passes of A, B, A and two of B.
// Track 0's volume lane has points at every A pass's start and in every B; track 3's pan starts only in
// B, so the rows before ramp towards a point windows ahead; the master delay is locked once, in the
// intro, and holds from there; tracks 0 and 2 lock the master cutoff on one row (track 2 wins). An
// envelope on track 1's cutoff follows track 1's notes, which B never plays, and one on the master
// volume follows every track's.
Project longSongWithBusLanes()
{
    Project project = testing::sequencerProject(32, tracks);
    project.rowsPerBeat = 16;
    project.bpm = 240;
    Pattern intro = project.patterns[0];
    Pattern a("A", 96, tracks);
    Pattern b("B", 64, tracks);
    intro.setCell(4, 0, withLocks(noteCell(48), {{ParameterTarget::masterDelay, 0.6}}));
    a.setCell(0, 0, withLocks(noteCell(50), {{ParameterTarget::trackVolume, 0.2}}));
    a.setCell(48, 0, withLocks(Cell{}, {{ParameterTarget::masterCutoff, 2000}}));
    a.setCell(48, 2, withLocks(noteCell(62), {{ParameterTarget::masterCutoff, 500}, {ParameterTarget::trackDrive, 0.4}}));
    a.setCell(10, 1, noteCell(60));
    Cell held = noteCell(64);
    held.gate = 30; // from the pass's last rows into the next one
    a.setCell(90, 1, held);
    b.setCell(32, 0, withLocks(noteCell(52), {{ParameterTarget::trackVolume, 0.9}}));
    b.setCell(10, 3, withLocks(Cell{}, {{ParameterTarget::trackPan, -0.7}}));
    b.setCell(0, 1, withLocks(Cell{}, {{ParameterTarget::masterCutoff, 9000}}));
    for (int row = 4; row < 64; row += 20) b.setCell(row, 2, noteCell(67));
    project.patterns = {intro, a, b};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}, SongBlock{.pattern = 1, .repeats = 3},
                                                     SongBlock{.pattern = 2, .repeats = 1}, SongBlock{.pattern = 1, .repeats = 1},
                                                     SongBlock{.pattern = 2, .repeats = 2}}};
    project.order = {0, 1, 2, 1, 2};
    project.mixer[3].pan = 0.5;
    project.mixer[1].cutoff = 8000;
    ModulationSource envelope{.name = "Envelope", .kind = ModulationSourceKind::envelope, .attack = 0.05, .decay = 0.1,
                              .sustain = 0.5, .release = 1.0};
    project.modulation = ModulationRack{
        .sources = {envelope},
        .routes = {ModulationRoute{.sourceID = envelope.id, .target = ParameterTarget::trackCutoff, .amount = -0.5, .track = 1},
                   ModulationRoute{.sourceID = envelope.id, .target = ParameterTarget::masterVolume, .amount = -0.3}}};
    return project;
}

TimelineLength lengthOf(const Project& project)
{
    return playbackTimelineLength(project, SongScope{}, 0, 0, testing::engineRate);
}

/// Frames to compare over `cycles` passes of `totalFrames`: every row's first and last frame and a prime
/// stride between.
std::set<std::int64_t> framesToCompare(const PlaybackTimeline& timeline, int cycles)
{
    std::set<std::int64_t> frames;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const std::int64_t base = cycle * timeline.totalFrames;
        for (const TimelineRow& row : timeline.rows) {
            frames.insert(base + row.startFrame);
            frames.insert(base + row.startFrame + row.durationFrames - 1);
        }
        for (std::int64_t frame = 0; frame < timeline.totalFrames; frame += 997) frames.insert(base + frame);
    }
    return frames;
}

/// Every parameter the automations move has the same value in both at every frame compared, over two
/// passes of `timeline`.
void expectSameValues(BusAutomation& windowed, BusAutomation& whole, const PlaybackTimeline& timeline)
{
    for (const std::int64_t frame : framesToCompare(timeline, 2)) {
        for (const auto& refresh : whole.refreshes()) {
            const double expected = whole.value(refresh.target, refresh.base, frame, refresh.track);
            const double got = windowed.value(refresh.target, refresh.base, frame, refresh.track);
            if (got != expected) {
                ADD_FAILURE() << "target " << indexOf(refresh.target) << " on track " << refresh.track.value_or(-1)
                              << " at frame " << frame << ": " << got << " instead of " << expected;
                return;
            }
        }
    }
}

TEST(BusAutomationWindows, ALongSongsBusesMoveAsTheWholeTimelinesWhetherLoopingOrExporting)
{
    const Project project = longSongWithBusLanes();
    struct Case {
        const char* name;
        bool cyclic;
        BusAutomation::Options options;
    };
    const Case cases[] = {
        {"looping", true, BusAutomation::Options::live()},
        {"once, live", false, BusAutomation::Options::live()},
        {"export, past the end", false, BusAutomation::Options::exportRender()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PlaybackTimeline timeline = playbackTimeline(project, SongScope{}, 0, 0, testing::engineRate, c.cyclic);
        ASSERT_GT(static_cast<std::int64_t>(timeline.rows.size()), 2 * BusAutomationWindows::windowRows);
        BusAutomation whole(project, timeline, tracks, c.options);
        BusAutomationWindows windows(project, SongScope{}, 0, 0, lengthOf(project), c.cyclic);
        EXPECT_LE(static_cast<std::int64_t>(windows.window().rows.size()), BusAutomationWindows::windowRows);
        BusAutomation windowed(project, std::move(windows), tracks, c.options);

        ASSERT_EQ(windowed.refreshes(), whole.refreshes());
        std::set<ParameterTarget> moved;
        for (const auto& refresh : whole.refreshes()) {
            moved.insert(refresh.target);
            EXPECT_TRUE(windowed.drives(refresh.target, refresh.track));
        }
        EXPECT_EQ(moved, (std::set<ParameterTarget>{ParameterTarget::trackVolume, ParameterTarget::trackPan,
                                                    ParameterTarget::trackCutoff, ParameterTarget::trackDrive,
                                                    ParameterTarget::masterVolume, ParameterTarget::masterCutoff,
                                                    ParameterTarget::masterDelay}));
        EXPECT_FALSE(windowed.drives(ParameterTarget::trackVolume, 1));
        EXPECT_FALSE(windowed.drives(ParameterTarget::masterReverb, std::nullopt));

        expectSameValues(windowed, whole, timeline);
    }
}

TEST(BusAutomationWindows, AnEnvelopeOnABusFollowsANoteOfAnEarlierWindow)
{
    const Project project = longSongWithBusLanes();
    const PlaybackTimeline timeline = playbackTimeline(project, SongScope{}, 0, 0, testing::engineRate, true);
    BusAutomation whole(project, timeline, tracks, BusAutomation::Options::live());
    BusAutomation windowed(project, BusAutomationWindows(project, SongScope{}, 0, 0, lengthOf(project), true), tracks,
                           BusAutomation::Options::live());
    // The last window (rows 512 on) lies in B's passes, and track 1 plays nothing there: its envelope
    // still releases the note that A's last pass started on row 474, in the window before.
    const TimelineRow& row = timeline.rows[530];
    ASSERT_EQ(row.patternIndex, 2);
    ASSERT_EQ(timeline.rows[474].patternIndex, 1);
    ASSERT_EQ(timeline.rows[474].row, 90);
    ASSERT_LT(474, 2 * BusAutomationWindows::windowRows);
    const BusAutomation::NoteTiming expected{timeline.rows[474].startFrame, 30 * row.durationFrames};
    EXPECT_EQ(whole.envelopeContext(1, row.startFrame), expected);
    windowed.value(ParameterTarget::trackCutoff, 8000, row.startFrame, 1);
    EXPECT_EQ(windowed.envelopeContext(1, row.startFrame), expected);
    EXPECT_EQ(windowed.value(ParameterTarget::trackCutoff, 8000, row.startFrame, 1),
              whole.value(ParameterTarget::trackCutoff, 8000, row.startFrame, 1));
    EXPECT_LT(windowed.value(ParameterTarget::trackCutoff, 8000, row.startFrame, 1), 8000);
}

TEST(BusAutomationWindows, AnEnvelopeRoutedToABusWhileTheSongPlaysFollowsItsNotes)
{
    // The song without its bus locks and routes: nothing moves a bus when playback starts. Then an
    // envelope is routed to track 1's cutoff, and the playback takes the edit up.
    Project project = longSongWithBusLanes();
    for (Pattern& pattern : project.patterns) {
        for (int row = 0; row < pattern.rows; ++row) {
            for (Cell& cell : pattern.cells.mutableRow(row)) {
                std::erase_if(cell.locks, [](const ParameterLock& lock) { return !isInstrumentTarget(lock.target); });
            }
        }
    }
    Project edited = project;
    project.modulation->routes.clear();
    edited.modulation->routes.pop_back();
    const PlaybackTimeline timeline = playbackTimeline(project, SongScope{}, 0, 0, testing::engineRate, true);
    BusAutomation windowed(project, BusAutomationWindows(project, SongScope{}, 0, 0, lengthOf(project), true), tracks,
                           BusAutomation::Options::live());
    BusAutomation whole(project, timeline, tracks, BusAutomation::Options::live());
    EXPECT_TRUE(windowed.refreshes().empty());
    // Halfway through the song, in its second window.
    const std::int64_t halfway = timeline.totalFrames / 2;
    windowed.value(ParameterTarget::trackCutoff, 8000, halfway, 1);

    windowed.setProject(edited);
    whole.setProject(edited);
    ASSERT_EQ(windowed.refreshes(), whole.refreshes());
    ASSERT_EQ(windowed.refreshes().size(), 1u);
    EXPECT_EQ(windowed.value(ParameterTarget::trackCutoff, 8000, halfway, 1),
              whole.value(ParameterTarget::trackCutoff, 8000, halfway, 1));
    expectSameValues(windowed, whole, timeline);
}

TEST(BusAutomationWindows, TheEngineMovesALongSongsBusesAsWhenGivenTheWholeTimeline)
{
    const Project project = longSongWithBusLanes();
    const PlaybackTimeline timeline = playbackTimeline(project, SongScope{}, 0, 0, testing::engineRate, true);
    AudioEngine whole(testing::manualEngine());
    whole.schedule(timeline, project, true, false, 0);
    AudioEngine windowed(testing::manualEngine());
    windowed.schedule(project, SongScope{}, 0, 0, true, false, 0);

    const auto settings = [](AudioEngine& engine) {
        auto probe = testing::probe(engine);
        return std::vector<float>{probe.strip(0).mixer->outputVolume(), probe.strip(1).filter->frequency(),
                                  probe.strip(2).drive->wetDryMix(),    probe.strip(3).mixer->pan(),
                                  probe.graph().mainMixer().outputVolume(), probe.master().filter->frequency(),
                                  probe.master().delay->wetDryMix()};
    };
    EXPECT_EQ(settings(windowed), settings(whole)) << "at the start";
    std::set<float> trackCutoffs;
    for (std::int64_t frame = 0; frame < 2 * timeline.totalFrames; frame += 1013) {
        whole.updateAutomatedBuses(project, timeline, frame);
        windowed.updateAutomatedBuses(project, timeline, frame);
        const auto expected = settings(whole);
        ASSERT_EQ(settings(windowed), expected) << "at frame " << frame;
        trackCutoffs.insert(expected[1]);
    }
    EXPECT_GT(trackCutoffs.size(), 100u) << "the envelope moves track 1's filter all through the song";
}

} // namespace
} // namespace veltrane
