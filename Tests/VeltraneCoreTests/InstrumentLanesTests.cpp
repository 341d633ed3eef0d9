#include "VeltraneCore/Automation/InstrumentLanes.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdint>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using T = ParameterTarget;

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
/// blocks with repeats, swing, notes of every instrument, lock cells with and without an instrument (the
/// track remembers the last one), several locks in one cell, two locks of one target in one cell, and locks
/// of track and master parameters among the instrument ones.
Project realisticSong()
{
    Dice dice;
    std::vector<Pattern> patterns{Pattern("Verse", 32, 6), Pattern("Chorus", 16, 8), Pattern("Break", 24, 3)};
    const std::vector<T> targets{T::instrumentVolume, T::instrumentPan,       T::instrumentTune,
                                 T::instrumentCutoff, T::instrumentResonance, T::instrumentAttack,
                                 T::instrumentRelease, T::instrumentWaveform, T::instrumentFMAmount,
                                 T::trackVolume,      T::masterDelay};
    for (auto& pattern : patterns) {
        for (int row = 0; row < pattern.rows; ++row) {
            for (int track = 0; track < pattern.channels; ++track) {
                Cell cell;
                const int kind = dice.roll(10);
                if (kind < 4) cell.note = NotePitch{36 + dice.roll(48)};
                if (kind == 4) cell.note = NoteOff{};
                if (kind == 5) cell.note = NoteTie{};
                if (dice.roll(3) != 0) cell.instrument = dice.roll(5);
                const int locks = dice.roll(5) == 0 ? 1 + dice.roll(3) : 0;
                for (int i = 0; i < locks; ++i) {
                    const T target = targets[static_cast<std::size_t>(dice.roll(static_cast<int>(targets.size())))];
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

/// Automation as it was read before the lanes were indexed: every parameter that the song locks, read by
/// a scan of every lock event of the timeline. The indexed look-up must agree with it exactly.
Instrument scannedAutomation(const Instrument& instrument, int index, int track, std::int64_t frame,
                             const PlaybackTimeline& timeline)
{
    const auto lane = [&](T target, double current) {
        return hasAutomation(target, track, index, timeline)
                   ? std::optional(automationValue(target, frame, track, index, current, timeline))
                   : std::nullopt;
    };
    Instrument expected = instrument;
    expected.volume = lane(T::instrumentVolume, expected.volume).value_or(expected.volume);
    expected.pan = lane(T::instrumentPan, expected.pan).value_or(expected.pan);
    expected.tune = lane(T::instrumentTune, expected.tune).value_or(expected.tune);
    if (auto v = lane(T::instrumentCutoff, expected.cutoff.value_or(18000))) expected.cutoff = v;
    if (auto v = lane(T::instrumentResonance, expected.resonance.value_or(0.7))) expected.resonance = v;
    expected.attack = lane(T::instrumentAttack, expected.attack).value_or(expected.attack);
    expected.release = lane(T::instrumentRelease, expected.release).value_or(expected.release);
    if (const auto* synth = std::get_if<SynthSource>(&expected.source)) {
        if (auto v = lane(T::instrumentWaveform, parameterValue(synth->waveform))) {
            expected.source = SynthSource{waveformFromParameter(*v)};
        }
    }
    if (expected.fm) expected.fm->amount = lane(T::instrumentFMAmount, expected.fm->amount).value_or(expected.fm->amount);
    return expected;
}

} // namespace

TEST(InstrumentLanes, AnswerExactlyAsTheScanOfEveryLockEvent)
{
    const Project project = realisticSong();
    for (const bool cyclic : {false, true}) {
        const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, kRate, cyclic);
        ASSERT_GT(timeline.locks.size(), 40u);
        ASSERT_TRUE(timeline.instrumentLanes);
        const InstrumentLanes& lanes = *timeline.instrumentLanes;
        EXPECT_EQ(lanes.eventCount(), timeline.locks.size());

        std::vector<std::int64_t> frames{-100, 0, 1, timeline.totalFrames, timeline.totalFrames + 5000};
        for (const auto& row : timeline.rows) {
            frames.push_back(row.startFrame);
            frames.push_back(row.startFrame + row.durationFrames / 3);
        }
        int automated = 0;
        for (int i = 0; i <= 16; ++i) {
            const auto target = static_cast<T>(i);
            for (int track = 0; track < 9; ++track) {
                for (int instrument = -1; instrument < 6; ++instrument) {
                    const bool has = hasAutomation(target, track, instrument, timeline);
                    ASSERT_EQ(lanes.has(target, track, instrument), has) << i << " " << track << " " << instrument;
                    if (!has) continue;
                    ++automated;
                    for (const std::int64_t frame : frames) {
                        ASSERT_EQ(lanes.value(target, frame, track, instrument, 0.42),
                                  automationValue(target, frame, track, instrument, 0.42, timeline))
                            << i << " " << track << " " << instrument << " " << frame;
                    }
                }
            }
        }
        EXPECT_GT(automated, 30);
    }
}

TEST(InstrumentLanes, NoteEvaluationOfARealisticSongIsUnchanged)
{
    const Project project = realisticSong();
    const auto timeline = playbackTimeline(project, SongScope{}, 0, 0, kRate, true);
    ASSERT_GT(timeline.notes.size(), 100u);
    int changed = 0;
    for (const auto& note : timeline.notes) {
        const auto& instrument = project.instruments[static_cast<std::size_t>(note.instrument)];
        const Instrument indexed = instrumentWithAutomation(instrument, note.instrument, note.track, note.startFrame, timeline);
        ASSERT_EQ(indexed, scannedAutomation(instrument, note.instrument, note.track, note.startFrame, timeline))
            << "note at " << note.startFrame << " on track " << note.track;
        if (indexed != instrument) ++changed;
    }
    // The comparison means something only when the lanes move many of the notes.
    EXPECT_GT(changed, 50);
}

TEST(InstrumentLanes, ATimelineEditedByHandIsReadFromItsOwnLockEvents)
{
    auto project = oneTrackProject(8);
    writeTrack(project, 0, 0, {Cell{.instrument = 1, .locks = {{T::instrumentTune, 12}}}});
    auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, false);
    const auto& instrument = project.instruments[1];
    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 0, 4 * kRow, timeline).tune, 12);

    // A lock event added after the timeline was built counts, as does one assembled from nothing.
    timeline.locks.push_back({.frame = 4 * kRow, .track = 0, .instrument = 1, .locks = {{T::instrumentTune, -12}}});
    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 0, 4 * kRow, timeline).tune, -12);
    PlaybackTimeline assembled;
    assembled.locks = {{.frame = 0, .track = 2, .instrument = 1, .locks = {{T::instrumentPan, 0.5}}}};
    EXPECT_EQ(instrumentWithAutomation(instrument, 1, 2, 100, assembled).pan, 0.5);
    // The index is not part of the value: a timeline equals its copy without it.
    PlaybackTimeline bare = timeline;
    bare.instrumentLanes.reset();
    EXPECT_EQ(bare, timeline);
}

TEST(InstrumentLanes, TheLastLockOfATargetInACellWinsAndLanesRampFromTheDefault)
{
    const InstrumentLanes lanes({
        {.frame = 4000, .track = 1, .instrument = 2, .locks = {{T::instrumentTune, 10}, {T::instrumentTune, 20}}},
        {.frame = 8000, .track = 1, .instrument = std::nullopt, .locks = {{T::instrumentTune, -40}}},
        {.frame = 8000, .track = 1, .instrument = 2, .locks = {{T::trackVolume, 0.5}}},
    });
    EXPECT_TRUE(lanes.has(T::instrumentTune, 1, 2));
    EXPECT_FALSE(lanes.has(T::instrumentTune, 1, 3));
    EXPECT_FALSE(lanes.has(T::instrumentTune, 0, 2));
    EXPECT_FALSE(lanes.has(T::trackVolume, 1, 2)); // a bus parameter is no instrument lane
    EXPECT_EQ(lanes.value(T::instrumentTune, 9000, 1, 2, 0), 20);
    EXPECT_EQ(lanes.value(T::instrumentTune, 0, 1, 2, 7), 7);
    EXPECT_EQ(lanes.value(T::instrumentTune, -50, 1, 2, 7), 7);
    EXPECT_DOUBLE_EQ(lanes.value(T::instrumentTune, 1000, 1, 2, 0), 5); // a quarter of the way from 0 to 20
    EXPECT_EQ(lanes.value(T::instrumentTune, 1000, 1, 3, 7), 7);
}
