#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using testing::engineRow;
using testing::noteCell;

struct Planned {
    Project project;
    PlaybackTimeline timeline;
    ScheduledSoundList list;
};

/// One pattern of `rows` rows written by `write`, planned at 48 kHz without looping.
template <typename Write>
Planned plan(int rows, int tracks, Write write)
{
    Planned planned{testing::sequencerProject(rows, tracks), {}, {}};
    write(planned.project);
    planned.timeline = playbackTimeline(planned.project, PatternScope{0}, 0, 0, testing::engineRate, false);
    SampleStore samples;
    samples.loadSamples(planned.project.instruments);
    planned.list = makeScheduledSounds(planned.timeline, planned.project, samples, testing::engineRate);
    return planned;
}

Cell withEffect(Cell cell, EffectType type, std::uint8_t value, int slot = 0)
{
    cell.effects[static_cast<std::size_t>(slot)] = Effect{.type = type, .value = value};
    return cell;
}

std::vector<std::tuple<std::int64_t, int, std::int64_t>> placements(const ScheduledSoundList& list)
{
    std::vector<std::tuple<std::int64_t, int, std::int64_t>> result;
    for (const auto& sound : list.sounds) result.emplace_back(sound.frame, sound.note, sound.gateFrames);
    return result;
}

TEST(AudioEngineScheduledSounds, EffectColumnsPlaceAndRepeatTheNotes)
{
    using Placements = std::vector<std::tuple<std::int64_t, int, std::int64_t>>;
    struct Case {
        const char* name;
        Cell cell;
        Placements expected;
    };
    const Case cases[] = {
        {"retrigger 4 over a 4-row note", [] { Cell c = withEffect(noteCell(60), EffectType::retrigger, 4); c.gate = 4; return c; }(),
         {{0, 60, 6000}, {6000, 60, 6000}, {12000, 60, 6000}, {18000, 60, 6000}}},
        {"delay 8/16", withEffect(noteCell(60), EffectType::delay, 8), {{3000, 60, 6000}}},
        {"arpeggio 4, 7", withEffect(noteCell(60), EffectType::arpeggio, 0x47), {{0, 60, 2000}, {2000, 64, 2000}, {4000, 67, 2000}}},
        {"chord 4, 7", withEffect(noteCell(60), EffectType::chord, 0x47), {{0, 60, 6000}, {0, 64, 6000}, {0, 67, 6000}}},
        {"chord held to 127", withEffect(noteCell(125), EffectType::chord, 0x47), {{0, 125, 6000}, {0, 127, 6000}, {0, 127, 6000}}},
        {"arpeggio wins over chord", withEffect(withEffect(noteCell(60), EffectType::chord, 0x47), EffectType::arpeggio, 0x35, 1),
         {{0, 60, 2000}, {2000, 63, 2000}, {4000, 65, 2000}}},
    };
    for (const auto& c : cases) {
        const auto planned = plan(4, 1, [&](Project& p) { p.patterns[0].setCell(0, 0, c.cell); });
        EXPECT_EQ(placements(planned.list), c.expected) << c.name;
    }
}

TEST(AudioEngineScheduledSounds, IdenticalNotesShareAKeyAndNotesThatMoveHaveNone)
{
    const auto planned = plan(4, 6, [](Project& p) {
        p.patterns[0].setCell(0, 1, noteCell(60));
        p.patterns[0].setCell(0, 5, noteCell(60));
        p.patterns[0].setCell(1, 2, withEffect(noteCell(60), EffectType::vibrato, 0x54));
        p.patterns[0].setCell(2, 3, withEffect(noteCell(60), EffectType::slide, 0));
        Cell louder = noteCell(60);
        louder.volume = 32;
        p.patterns[0].setCell(3, 4, louder);
    });
    ASSERT_EQ(planned.list.sounds.size(), 5u);
    const auto& sounds = planned.list.sounds;
    ASSERT_TRUE(bufferKey(sounds[0]) && bufferKey(sounds[1]));
    EXPECT_EQ(*bufferKey(sounds[0]), *bufferKey(sounds[1])); // tracks 1 and 5: one render serves both
    EXPECT_FALSE(bufferKey(sounds[2]));                     // vibrato
    EXPECT_FALSE(bufferKey(sounds[3]));                     // slide
    ASSERT_TRUE(bufferKey(sounds[4]));
    EXPECT_NE(*bufferKey(sounds[4]), *bufferKey(sounds[0])); // volume 32
    EXPECT_EQ(sounds[4].volume, 0.5);
}

TEST(AudioEngineScheduledSounds, ASlideGlidesFromTheTracksPreviousNoteOnly)
{
    const auto planned = plan(4, 2, [](Project& p) {
        p.patterns[0].setCell(0, 0, withEffect(noteCell(60), EffectType::slide, 0));
        p.patterns[0].setCell(1, 1, noteCell(50));
        p.patterns[0].setCell(2, 0, withEffect(noteCell(67), EffectType::slide, 0));
    });
    ASSERT_EQ(planned.list.sounds.size(), 3u);
    EXPECT_EQ(planned.list.sounds[0].slideFromNote, std::nullopt); // no earlier note on the track
    EXPECT_EQ(planned.list.sounds[2].slideFromNote, 60);
}

TEST(AudioEngineScheduledSounds, NotesThatCannotSoundAreDropped)
{
    const auto planned = plan(2, 1, [](Project& p) {
        p.instruments.push_back(Instrument::withBookmark("Gone", Data(std::string("veltrane-path:/nonexistent/x.wav")), "x.wav"));
        p.instruments.back().sampleEdit = SampleEdit{};
        p.patterns[0].setCell(0, 0, noteCell(60, 1));
        p.patterns[0].setCell(1, 0, noteCell(62));
    });
    ASSERT_EQ(planned.list.sounds.size(), 1u); // the missing sample is silent, the synth plays
    EXPECT_EQ(planned.list.sounds[0].note, 62);

    // A track beyond the 32 strips has no strip to play on.
    Project wide = testing::sequencerProject(1, 41);
    wide.patterns[0].setCell(0, 40, noteCell(60));
    const auto timeline = playbackTimeline(wide, PatternScope{0}, 0, 0, testing::engineRate, false);
    ASSERT_EQ(timeline.notes.size(), 1u);
    EXPECT_TRUE(makeScheduledSounds(timeline, wide, SampleStore{}, testing::engineRate).sounds.empty());
}

TEST(AudioEngineScheduledSounds, HostedInstrumentsGetMIDINotesWithTheirStartControls)
{
    const auto hosted = Instrument::withAudioUnit("Hosted", AudioUnitReference{.name = "Unit"}, std::nullopt);
    struct Case {
        std::uint8_t volume;
        std::optional<std::uint8_t> panColumn;
        std::uint8_t velocity;
        std::uint8_t pan;
    };
    // Cell volume 32 is 0.5 (velocity 63.5, rounded up); volume 0 still strikes the key.
    const Case cases[] = {{32, std::nullopt, 64, 64}, {0, 0x00, 1, 0}, {64, 0xFF, 127, 127}};
    for (const auto& c : cases) {
        const auto planned = plan(2, 1, [&](Project& p) {
            Instrument instrument = hosted;
            instrument.cutoff.reset();
            instrument.resonance.reset();
            p.instruments = {instrument};
            Cell cell = noteCell(60);
            cell.volume = c.volume;
            if (c.panColumn) cell = withEffect(cell, EffectType::pan, *c.panColumn);
            p.patterns[0].setCell(0, 0, cell);
        });
        EXPECT_TRUE(planned.list.sounds.empty());
        ASSERT_EQ(planned.list.midi.size(), 1u);
        const auto& note = planned.list.midi[0];
        EXPECT_EQ(note.frame, 0);
        EXPECT_EQ(note.durationFrames, engineRow);
        EXPECT_EQ(note.note, 60);
        EXPECT_EQ(note.velocity, c.velocity);
        EXPECT_EQ(note.pan, c.pan);
        EXPECT_EQ(note.volume, 108); // 0.85 × 127
        EXPECT_EQ(note.cutoff, 125); // 18,000 Hz in the logarithmic range
        EXPECT_EQ(note.resonance, 17);
        EXPECT_TRUE(planned.list.controls.empty());
    }
}

TEST(AudioEngineScheduledSounds, AMovingRouteSendsControlChangesTwentyFourTimesABeat)
{
    const auto planned = plan(4, 1, [](Project& p) {
        p.instruments = {Instrument::withAudioUnit("Hosted", AudioUnitReference{.name = "Unit"}, std::nullopt)};
        ModulationSource lfo{.name = "LFO 1", .kind = ModulationSourceKind::lfo};
        p.modulation = ModulationRack{.sources = {lfo},
                                      .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = 0.5}}};
        Cell cell = noteCell(60);
        cell.gate = 2;
        p.patterns[0].setCell(0, 0, cell);
    });
    ASSERT_EQ(planned.list.midi.size(), 1u);
    // 120 bpm at 48 kHz: a beat is 24,000 frames, a step 1,000; from the note-on through its 12,000 frames.
    ASSERT_EQ(planned.list.controls.size(), 13u);
    for (std::size_t i = 0; i < planned.list.controls.size(); ++i) {
        EXPECT_EQ(planned.list.controls[i].frame, static_cast<std::int64_t>(i) * 1000);
        EXPECT_EQ(planned.list.controls[i].controller, 7);
    }
    EXPECT_NE(planned.list.controls[0].value, planned.list.controls[6].value); // the LFO moves it
}

TEST(AudioEngineScheduledSounds, ContinuousModulationMovesTheVolumeInsideANote)
{
    const auto planned = plan(8, 1, [](Project& p) {
        ModulationSource lfo{.name = "LFO 1", .kind = ModulationSourceKind::lfo, .rateBeats = 0.25};
        p.modulation = ModulationRack{.sources = {lfo},
                                      .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = -0.5}}};
        Cell cell = noteCell(60);
        cell.gate = 8;
        p.patterns[0].setCell(0, 0, cell);
    });
    ASSERT_EQ(planned.list.sounds.size(), 1u);
    const auto& sound = planned.list.sounds[0];
    ASSERT_TRUE(sound.continuous);
    EXPECT_FALSE(bufferKey(sound));
    const auto buffer = renderScheduledSound(sound, planned.project, testing::engineRate);
    // A quarter-beat LFO (6,000 frames a cycle): the level of the square note rises and falls with it.
    const auto level = [&](std::int64_t from) {
        float peak = 0;
        for (std::int64_t i = from; i < from + 200; ++i) peak = std::max(peak, std::abs(buffer->channel(0)[i]));
        return peak;
    };
    float lowest = 1;
    float highest = 0;
    for (std::int64_t at = 0; at < 6000; at += 500) {
        lowest = std::min(lowest, level(at));
        highest = std::max(highest, level(at));
    }
    EXPECT_GT(highest, 1.5f * lowest);
}

} // namespace
} // namespace veltrane
