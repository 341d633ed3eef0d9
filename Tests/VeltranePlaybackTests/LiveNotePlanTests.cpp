// Live playback plans a long song a window of rows at a time. Whatever crosses a window's edge (a lane
// whose points lie in other windows, a slide from the last note of the window before, a delayed or
// retriggered strike that lands after the next window's first notes, a note that runs on into the next
// loop cycle) must come out exactly as the plan of the whole timeline has it.

#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/NotePlan/LiveNotePlan.hpp"
#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace veltrane {
namespace {

using testing::noteCell;

Cell withEffect(Cell cell, EffectType type, std::uint8_t value, int slot = 0)
{
    cell.effects[static_cast<std::size_t>(slot)] = Effect{.type = type, .value = value};
    return cell;
}

// 416 rows over five blocks of two patterns: more than a window. Track 0's cutoff lane has one point at
// the song's start and one in the last block, so every note between reads a line between points that
// lie in other windows; its volume lane starts in the second pattern only, so the notes before ramp
// towards a point far ahead. Track 1 slides, delays and retriggers long notes across the windows'
// edges; track 2 plays a hosted instrument under a moving route; track 3 rolls chance and arpeggios.
Project longSong()
{
    Project project = testing::sequencerProject(96, 4);
    project.rowsPerBeat = 16;
    project.bpm = 240;
    project.instruments.push_back(Instrument::withAudioUnit("Hosted", AudioUnitReference{.name = "Unit"}, std::nullopt));
    Pattern first = project.patterns[0];
    Pattern second("Second", 64, 4);
    first.setCell(0, 0, Cell{.note = NotePitch{48}, .instrument = 0, .locks = {{ParameterTarget::instrumentCutoff, 400}}});
    for (int row = 3; row < 96; row += 3) first.setCell(row, 0, noteCell(48 + row % 12));
    for (int row = 0; row < 64; row += 4) second.setCell(row, 0, noteCell(55));
    second.setCell(40, 0, Cell{.locks = {{ParameterTarget::instrumentCutoff, 9000}, {ParameterTarget::instrumentVolume, 0.9}}});
    for (int row = 2; row < 96; row += 10) {
        Cell cell = withEffect(withEffect(noteCell(60 + row % 7), EffectType::slide, 1), EffectType::retrigger, 3, 1);
        cell.gate = 9;
        first.setCell(row, 1, cell);
    }
    for (int row = 1; row < 64; row += 8) second.setCell(row, 1, withEffect(noteCell(62), EffectType::delay, 12));
    for (int row = 0; row < 96; row += 16) first.setCell(row, 2, noteCell(64, 1));
    second.setCell(8, 2, noteCell(67, 1));
    for (int row = 0; row < 96; row += 2) first.setCell(row, 3, withEffect(noteCell(72), EffectType::chance, 0x80));
    for (int row = 0; row < 64; row += 5) second.setCell(row, 3, withEffect(noteCell(70), EffectType::arpeggio, 0x37));
    // A note on the song's last row runs on into the next cycle of a loop.
    Cell last = noteCell(74);
    last.gate = 3;
    second.setCell(63, 1, last);
    project.patterns = {first, second};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 2}, SongBlock{.pattern = 1, .repeats = 1},
                                                     SongBlock{.pattern = 0, .repeats = 1}, SongBlock{.pattern = 1, .repeats = 2}}};
    project.order = {0, 1, 0, 1};
    ModulationSource lfo{.name = "LFO", .kind = ModulationSourceKind::lfo, .rateBeats = 1};
    ModulationRack rack;
    rack.routes.push_back(ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = 0.3, .track = 2});
    rack.routes.push_back(ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentResonance, .amount = 0.2, .track = 0});
    rack.sources.push_back(std::move(lfo));
    project.modulation = std::move(rack);
    return project;
}

struct Drained {
    std::vector<ScheduledSound> sounds;
    LiveNotePlan::Window events;
    int windows = 0;
};

Drained drain(LiveNotePlan& plan)
{
    Drained drained;
    while (!plan.passFinished()) {
        const ScheduledSound* sound =
            plan.next(std::numeric_limits<std::int64_t>::max(), [&](const LiveNotePlan::Window& window) {
                ++drained.windows;
                drained.events.midi.insert(drained.events.midi.end(), window.midi.begin(), window.midi.end());
                drained.events.controls.insert(drained.events.controls.end(), window.controls.begin(), window.controls.end());
                drained.events.rows.insert(drained.events.rows.end(), window.rows.begin(), window.rows.end());
            });
        if (sound == nullptr) {
            ADD_FAILURE() << "a pass that is not finished has a next sound";
            break;
        }
        drained.sounds.push_back(*sound);
        plan.pop();
    }
    return drained;
}

void expectSameSounds(const std::vector<ScheduledSound>& windowed, const std::vector<ScheduledSound>& whole)
{
    ASSERT_EQ(windowed.size(), whole.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        const ScheduledSound& a = windowed[i];
        const ScheduledSound& b = whole[i];
        SCOPED_TRACE(::testing::Message() << "sound " << i << " at frame " << b.frame << " on track " << b.track);
        EXPECT_EQ(a.frame, b.frame);
        EXPECT_EQ(a.track, b.track);
        EXPECT_EQ(a.note, b.note);
        EXPECT_EQ(a.gateFrames, b.gateFrames);
        EXPECT_EQ(a.volume, b.volume);
        EXPECT_EQ(a.pan, b.pan);
        EXPECT_EQ(a.effects, b.effects);
        EXPECT_EQ(a.slideFromNote, b.slideFromNote);
        EXPECT_EQ(a.shareable, b.shareable);
        ASSERT_TRUE(a.instrument && b.instrument);
        EXPECT_EQ(*a.instrument, *b.instrument);
        ASSERT_EQ(a.continuous != nullptr, b.continuous != nullptr);
        if (a.continuous) {
            EXPECT_EQ(a.continuous->baseInstrument, b.continuous->baseInstrument);
            EXPECT_EQ(a.continuous->startInstrument, b.continuous->startInstrument);
            EXPECT_EQ(a.continuous->startFrame, b.continuous->startFrame);
            EXPECT_EQ(a.continuous->durationFrames, b.continuous->durationFrames);
        }
    }
}

TEST(LiveNotePlan, ALongSongPlannedWindowByWindowIsTheWholeTimelinesPlanInEveryCycle)
{
    const auto project = std::make_shared<const Project>(longSong());
    const SampleStore samples;
    for (const bool cyclic : {true, false}) {
        SCOPED_TRACE(cyclic ? "looping" : "once");
        const PlaybackTimeline timeline = playbackTimeline(*project, SongScope{}, 0, 0, testing::engineRate, cyclic);
        ASSERT_GT(static_cast<std::int64_t>(timeline.rows.size()), LiveNotePlan::windowRows);
        const ScheduledSoundList whole = makeScheduledSounds(timeline, *project, samples, testing::engineRate);

        LiveNotePlan plan(project, SongScope{}, 0, 0, testing::engineRate, cyclic, samples);
        ASSERT_FALSE(plan.singleWindow());
        EXPECT_EQ(plan.cycleFrames(), timeline.totalFrames);
        for (int cycle = 0; cycle < 2; ++cycle) {
            SCOPED_TRACE(::testing::Message() << "cycle " << cycle);
            plan.restart();
            const Drained drained = drain(plan);
            EXPECT_EQ(drained.windows, 2);
            expectSameSounds(drained.sounds, whole.sounds);
            EXPECT_EQ(drained.events.midi, whole.midi);
            EXPECT_EQ(drained.events.controls, whole.controls);
            EXPECT_EQ(drained.events.rows, timeline.rows);
        }

        // The song exercises what crosses the windows' edges: lanes read between far points, slides,
        // hosted notes with their control changes, and strikes past the cycle's end when looping.
        std::set<double> cutoffs;
        std::set<double> volumes;
        bool slides = false;
        bool pastTheEnd = false;
        for (const auto& sound : whole.sounds) {
            // Track 0's filter moves with its route: the note renders open, its lanes show in the base.
            if (sound.track == 0 && sound.continuous) cutoffs.insert(*sound.continuous->baseInstrument.cutoff);
            if (sound.track == 0 && sound.continuous) volumes.insert(sound.continuous->baseInstrument.volume);
            slides = slides || sound.slideFromNote.has_value();
            pastTheEnd = pastTheEnd || sound.frame + sound.gateFrames > timeline.totalFrames;
        }
        EXPECT_GT(cutoffs.size(), 20u);
        EXPECT_GT(volumes.size(), 20u);
        EXPECT_TRUE(slides);
        EXPECT_FALSE(whole.midi.empty());
        EXPECT_FALSE(whole.controls.empty());
        EXPECT_EQ(pastTheEnd, cyclic);
    }
}

TEST(LiveNotePlan, ASoundIsHandedOutOnlyOnceNoLaterWindowCanComeBeforeIt)
{
    const auto project = std::make_shared<const Project>(longSong());
    LiveNotePlan plan(project, SongScope{}, 0, 0, testing::engineRate, false, SampleStore{});
    int windows = 0;
    const auto count = [&](const LiveNotePlan::Window&) { ++windows; };
    // Nothing is planned before it is asked for, and a horizon inside the first window plans that one only.
    EXPECT_EQ(windows, 0);
    const ScheduledSound* first = plan.next(1, count);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->frame, 0);
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(plan.takenThroughFrame(), 0);
    std::int64_t last = 0;
    while (const ScheduledSound* sound = plan.next(plan.cycleFrames() / 3, count)) {
        EXPECT_GE(sound->frame, last);
        last = sound->frame;
        plan.pop();
    }
    EXPECT_EQ(windows, 1) << "a third of the song lies within the first window";
    EXPECT_GE(plan.takenThroughFrame(), plan.cycleFrames() / 3);
    EXPECT_FALSE(plan.passFinished());
}

TEST(LiveNotePlan, TheEngineSoundsTheSameWhenPlayingTheScopeAWindowAtATime)
{
    // Four and a half seconds: past the first window's end (256 rows of 15.6 ms), with the metronome.
    Project project = longSong();
    project.instruments.pop_back(); // no hosted instrument: the engine here hosts none
    const std::int64_t frames = 216000;
    AudioEngine whole(testing::manualEngine());
    whole.schedule(playbackTimeline(project, SongScope{}, 0, 0, testing::engineRate, true), project, true, true, 0);
    const testing::Capture expected = testing::renderEngine(whole, frames);
    AudioEngine windowed(testing::manualEngine());
    windowed.schedule(project, SongScope{}, 0, 0, true, true, 0);
    const testing::Capture heard = testing::renderEngine(windowed, frames);

    ASSERT_EQ(heard.size(), expected.size());
    EXPECT_GT(expected.peak(200000, frames), 0.01f) << "notes sound after the first window";
    for (std::int64_t i = 0; i < frames; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (heard.left[k] != expected.left[k] || heard.right[k] != expected.right[k]) {
            ADD_FAILURE() << "the playbacks part at frame " << i;
            break;
        }
    }
    EXPECT_GT(windowed.renderedThroughFrame(), frames);
}

} // namespace
} // namespace veltrane
