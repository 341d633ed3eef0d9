#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Voices/Metronome.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace veltrane {
namespace {

using testing::engineLead;
using testing::engineRow;
using testing::noteCell;

PlaybackTimeline patternTimeline(const Project& project, bool cyclic)
{
    return playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, cyclic);
}

/// The player frame of the last block when `frames` frames have been rendered in engine blocks.
std::int64_t lastBlockStart(std::int64_t frames)
{
    return (frames - 1) / testing::engineBlock * testing::engineBlock;
}

float bufferPeak(const AudioBuffer& buffer)
{
    float peak = 0;
    for (std::int64_t i = 0; i < buffer.frameLength(); ++i) {
        peak = std::max({peak, std::abs(buffer.channel(0)[i]), std::abs(buffer.channel(1)[i])});
    }
    return peak;
}

/// A two-row pattern: note 60 on row 0 and note 72 on row 1 of track 0, each gated to half its row, so
/// that every onset follows silence.
Project twoRowProject()
{
    Project project = testing::sequencerProject(2, 1);
    Cell first = noteCell(60);
    first.gate = 0.5;
    Cell second = noteCell(72);
    second.gate = 0.5;
    project.patterns[0].setCell(0, 0, first);
    project.patterns[0].setCell(1, 0, second);
    return project;
}

TEST(AudioEngineScheduling, EveryNoteStartsAtItsFrameInEveryLoopCycle)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = twoRowProject();
    const PlaybackTimeline timeline = patternTimeline(project, true);
    ASSERT_EQ(timeline.totalFrames, 2 * engineRow);
    engine.schedule(timeline, project, true, false, 0);

    // Four cycles: cycles 2 and 3 exist only when the markers of cycles 0 and 1 queued them.
    const auto capture = testing::renderEngine(engine, engineLead + 4 * timeline.totalFrames + engineRow);
    for (int cycle = 0; cycle < 4; ++cycle) {
        for (int row = 0; row < 2; ++row) {
            const std::int64_t expected = engineLead + cycle * timeline.totalFrames + row * engineRow;
            EXPECT_EQ(capture.onset(expected - engineRow / 4), expected) << "cycle " << cycle << " row " << row;
            EXPECT_GT(capture.peak(expected, expected + engineRow / 2), 0.05f);
            // Each note stops at its gate (plus its release of 5 ms).
            EXPECT_EQ(capture.peak(expected + engineRow / 2 + 240, expected + engineRow), 0.0f);
        }
    }
}

TEST(AudioEngineScheduling, APlaybackThatDoesNotLoopPlaysOneCycle)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = twoRowProject();
    const PlaybackTimeline timeline = patternTimeline(project, false);
    engine.schedule(timeline, project, false, false, 0);
    const auto capture = testing::renderEngine(engine, engineLead + 3 * timeline.totalFrames);
    EXPECT_EQ(capture.onset(0), engineLead);
    EXPECT_EQ(capture.peak(engineLead + timeline.totalFrames, capture.size()), 0.0f);
    // The transport ends such a playback; until then the clock runs on past the last row.
    EXPECT_GT(*engine.transport().playingFrame(), timeline.totalFrames);
}

TEST(AudioEngineScheduling, StopSilencesAtOnceAndThePlayingFrameGoes)
{
    AudioEngine engine(testing::manualEngine());
    const Project project = twoRowProject();
    const PlaybackTimeline timeline = patternTimeline(project, true);
    EXPECT_FALSE(engine.transport().playingFrame());
    engine.schedule(timeline, project, true, false, 0);
    auto capture = testing::renderEngine(engine, engineLead + engineRow / 4);
    EXPECT_GT(capture.peak(engineLead, capture.size()), 0.05f);
    // The clock's frame is that of the last block rendered.
    EXPECT_EQ(engine.transport().playingFrame(), lastBlockStart(engineLead + engineRow / 4) - engineLead);

    engine.stop();
    capture = testing::renderEngine(engine, 5 * timeline.totalFrames);
    EXPECT_EQ(capture.peak(0, capture.size()), 0.0f);
    EXPECT_FALSE(engine.transport().playingFrame());
}

TEST(AudioEngineScheduling, AMarkerThatPlayedBeforeAStopQueuesNothingIntoTheNextPlayback)
{
    AudioEngine engine(testing::manualEngine());
    // One beat of metronome clicks per cycle; a cycle queued twice would click twice as loud.
    Project project = testing::sequencerProject(4, 1);
    const PlaybackTimeline timeline = patternTimeline(project, true);
    engine.schedule(timeline, project, true, true, 0);

    // Cycle 0's marker plays, but the main thread has not acted on it when the next playback starts.
    AudioBuffer block(testing::engineBlock, testing::engineRate);
    for (std::int64_t done = 0; done < engineLead + timeline.totalFrames; done += testing::engineBlock) {
        engine.renderManually(block, testing::engineBlock);
    }
    engine.schedule(timeline, project, true, true, 0);
    const auto capture = testing::renderEngine(engine, engineLead + 5 * timeline.totalFrames);
    const float accent = bufferPeak(*makeMetronomeClicks(testing::engineRate).accent);
    for (int cycle = 0; cycle < 5; ++cycle) {
        const std::int64_t frame = engineLead + cycle * timeline.totalFrames;
        EXPECT_EQ(capture.peak(frame, frame + engineRow), accent) << cycle;
    }
}

TEST(AudioEngineScheduling, CountInClicksThenTheFirstRowOneBeatAfterTheLastClick)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(16, 1);
    project.mixer[0].muted = true; // only the metronome is heard
    project.patterns[0].setCell(0, 0, noteCell(60));
    const PlaybackTimeline timeline = patternTimeline(project, true);
    engine.schedule(timeline, project, true, true, 4);
    EXPECT_EQ(engine.transport().playback().countInFrames, 96000);

    const auto capture = testing::renderEngine(engine, engineLead + 96000 + timeline.totalFrames);
    const auto clicks = makeMetronomeClicks(testing::engineRate);
    const auto clickAt = [&](std::int64_t frame) { return capture.peak(frame, frame + clicks.accent->frameLength()); };
    const float accent = bufferPeak(*clicks.accent);
    const float regular = bufferPeak(*clicks.regular);
    ASSERT_GT(accent, regular);
    // Count-in: accent, then three regular clicks, a beat (24,000 frames) apart.
    std::int64_t previous = -1;
    for (int beat = 0; beat < 4; ++beat) {
        const std::int64_t frame = engineLead + beat * 24000;
        EXPECT_EQ(capture.onset(previous + 1), frame) << beat;
        EXPECT_EQ(clickAt(frame), beat == 0 ? accent : regular) << beat;
        previous = frame + clicks.accent->frameLength();
    }
    // The pattern's beats: an accent on row 0, regular clicks on rows 4, 8 and 12.
    for (int beat = 0; beat < 4; ++beat) {
        const std::int64_t frame = engineLead + 96000 + beat * 4 * engineRow;
        EXPECT_EQ(capture.onset(previous + 1), frame) << beat;
        EXPECT_EQ(clickAt(frame), beat == 0 ? accent : regular) << beat;
        previous = frame + clicks.accent->frameLength();
    }
}

TEST(AudioEngineScheduling, ACountInWithoutMetronomeIsSilentButStillDelaysTheFirstRow)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(4, 1);
    project.patterns[0].setCell(0, 0, noteCell(60));
    engine.schedule(patternTimeline(project, true), project, true, false, 4);
    EXPECT_EQ(engine.transport().playback().countInFrames, 96000);
    const auto capture = testing::renderEngine(engine, engineLead + 96000 + engineRow);
    EXPECT_EQ(capture.onset(0), engineLead + 96000);
    EXPECT_EQ(*engine.transport().playingFrame(), lastBlockStart(engineLead + 96000 + engineRow) - engineLead - 96000);

    engine.schedule(patternTimeline(project, true), project, true, false, -2);
    EXPECT_EQ(engine.transport().playback().countInFrames, 0);
}

TEST(AudioEngineScheduling, MetronomeClicksLastTheirNoteAndRelease)
{
    const auto at44 = makeMetronomeClicks(44100);
    const auto at48 = makeMetronomeClicks(48000);
    EXPECT_EQ(at44.regular->frameLength(), 1543);
    EXPECT_EQ(at48.regular->frameLength(), 1680);
    EXPECT_EQ(at44.accent->frameLength(), 1764);
    EXPECT_EQ(at48.accent->frameLength(), 1920);
    EXPECT_EQ(countInFrames(4, 120, 48000), 96000);
    EXPECT_EQ(countInFrames(-2, 120, 48000), 0);
    EXPECT_EQ(countInFrames(4, 0, 48000), 0);
}

TEST(AudioEngineScheduling, ChanceCanDropANoteOnTheFirstFrame)
{
    // A chance of 0 keeps a note only when its position rolls exactly 0; the first row of a song must
    // roll like any other, so a note there is dropped.
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(2, 1);
    Cell never = noteCell(60);
    never.effects[0] = Effect{.type = EffectType::chance, .value = 0};
    project.patterns[0].setCell(0, 0, never);
    engine.schedule(patternTimeline(project, false), project, false, false, 0);
    const auto capture = testing::renderEngine(engine, engineLead + 2 * engineRow);
    EXPECT_EQ(capture.peak(0, capture.size()), 0.0f);
}

TEST(AudioEngineScheduling, NotesAreRenderedAheadOfThePlayingPositionNotAllAtOnce)
{
    AudioEngine engine(testing::manualEngine());
    // 64 rows of 0.125 s: an eight-second cycle, a note on every row.
    Project project = testing::sequencerProject(64, 1);
    for (int row = 0; row < 64; ++row) project.patterns[0].setCell(row, 0, noteCell(48 + row % 24));
    const PlaybackTimeline timeline = patternTimeline(project, true);
    engine.schedule(timeline, project, true, false, 0);
    const auto urgent = static_cast<std::int64_t>(AudioEngine::urgentAheadSeconds * testing::engineRate);
    EXPECT_GE(engine.renderedThroughFrame(), urgent);
    EXPECT_LT(engine.renderedThroughFrame(), urgent + engineRow);

    // Three seconds in, the engine keeps its two seconds of lead and no more.
    testing::renderEngine(engine, 3 * 48000);
    const auto ahead = static_cast<std::int64_t>(AudioEngine::renderAheadSeconds * testing::engineRate);
    EXPECT_GE(engine.renderedThroughFrame(), *engine.transport().playingFrame() + ahead);
    EXPECT_LT(engine.renderedThroughFrame(), *engine.transport().playingFrame() + ahead + engineRow + 256);
}

TEST(AudioEngineScheduling, RenderingAheadSoundsTheSameAsRenderingEveryNoteFirst)
{
    Project project = testing::sequencerProject(32, 3);
    for (int row = 0; row < 32; ++row) {
        Cell cell = noteCell(48 + (row * 5) % 24);
        cell.gate = 1.5; // notes overlap on their track's voices
        project.patterns[0].setCell(row, row % 3, cell);
        if (row % 4 == 0) {
            Cell chord = noteCell(60);
            chord.effects[0] = Effect{.type = EffectType::chord, .value = 0x47};
            chord.effects[1] = Effect{.type = EffectType::vibrato, .value = 0x54};
            project.patterns[0].setCell(row, (row + 1) % 3, chord);
        }
    }
    const PlaybackTimeline timeline = patternTimeline(project, true);

    AudioEngine engine(testing::manualEngine());
    engine.schedule(timeline, project, true, false, 0);
    const std::int64_t length = engineLead + 2 * timeline.totalFrames;
    const auto capture = testing::renderEngine(engine, length);

    // Every sound rendered up front and summed at its frame, cycle after cycle.
    SampleStore noSamples;
    const auto list = makeScheduledSounds(timeline, project, noSamples, testing::engineRate);
    std::vector<double> left(static_cast<std::size_t>(length)), right(static_cast<std::size_t>(length));
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (const auto& sound : list.sounds) {
            const auto buffer = renderScheduledSound(sound, project, testing::engineRate);
            const std::int64_t start = engineLead + cycle * timeline.totalFrames + sound.frame;
            for (std::int64_t i = 0; i < buffer->frameLength() && start + i < length; ++i) {
                left[static_cast<std::size_t>(start + i)] += buffer->channel(0)[i];
                right[static_cast<std::size_t>(start + i)] += buffer->channel(1)[i];
            }
        }
    }
    double largestDifference = 0;
    for (std::int64_t i = 0; i < length; ++i) {
        largestDifference = std::max({largestDifference, std::abs(left[static_cast<std::size_t>(i)] - capture.left[static_cast<std::size_t>(i)]),
                                      std::abs(right[static_cast<std::size_t>(i)] - capture.right[static_cast<std::size_t>(i)])});
    }
    EXPECT_LT(largestDifference, 1e-5);
    EXPECT_GT(capture.peak(0, length), 0.05f);
}

} // namespace
} // namespace veltrane
