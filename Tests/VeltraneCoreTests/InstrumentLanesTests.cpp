#include "VeltraneCore/Automation/InstrumentLanes.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdint>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using T = ParameterTarget;

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
