#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Mixdown/MixerSettings.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using testing::engineRow;

Cell lockCell(ParameterTarget target, double value, std::optional<Cell> base = std::nullopt)
{
    Cell cell = base.value_or(Cell{});
    cell.locks.push_back(ParameterLock{.target = target, .value = value});
    return cell;
}

PlaybackTimeline timelineOf(const Project& project)
{
    return playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, true);
}

TEST(AudioEngineBusAutomation, LanesRestartWithEveryLoopCycle)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(4, 1);
    project.patterns[0].setCell(0, 0, lockCell(ParameterTarget::trackVolume, 0.2, testing::noteCell(60)));
    project.patterns[0].setCell(2, 0, lockCell(ParameterTarget::trackVolume, 0.8));
    const auto timeline = timelineOf(project);
    engine.schedule(timeline, project, true, false, 0);
    const float startValue = testing::probe(engine).strip(0).mixer->outputVolume();
    EXPECT_FLOAT_EQ(startValue, 0.2f);

    engine.updateAutomatedBuses(project, timeline, engineRow);
    const float halfWay = testing::probe(engine).strip(0).mixer->outputVolume();
    EXPECT_FLOAT_EQ(halfWay, 0.5f);
    engine.updateAutomatedBuses(project, timeline, 2 * timeline.totalFrames + engineRow);
    EXPECT_EQ(testing::probe(engine).strip(0).mixer->outputVolume(), halfWay);
    engine.updateAutomatedBuses(project, timeline, 5 * timeline.totalFrames);
    EXPECT_EQ(testing::probe(engine).strip(0).mixer->outputVolume(), startValue);
}

TEST(AudioEngineBusAutomation, ALaneNeverLiftsAMutedOrSoloSilencedStrip)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(2, 3);
    project.mixer[0].muted = true;
    project.mixer[2].solo = true;
    for (int track : {0, 1}) project.patterns[0].setCell(0, track, lockCell(ParameterTarget::trackVolume, 0.9, testing::noteCell(60)));
    const auto timeline = timelineOf(project);
    engine.schedule(timeline, project, true, false, 0);
    for (std::int64_t frame : {std::int64_t{0}, engineRow, 3 * engineRow}) {
        engine.updateAutomatedBuses(project, timeline, frame);
        EXPECT_EQ(testing::probe(engine).strip(0).mixer->outputVolume(), 0.0f) << frame;
        EXPECT_EQ(testing::probe(engine).strip(1).mixer->outputVolume(), 0.0f) << frame;
    }
}

TEST(AudioEngineBusAutomation, AStripWithoutAMixerEntryStaysNeutral)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(2, 6);
    project.mixer.resize(4);
    project.patterns[0].setCell(0, 5, lockCell(ParameterTarget::trackVolume, 0.3, testing::noteCell(60)));
    const auto timeline = timelineOf(project);
    engine.schedule(timeline, project, true, false, 0);
    EXPECT_EQ(testing::probe(engine).strip(5).mixer->outputVolume(), 1.0f);
    engine.updateAutomatedBuses(project, timeline, engineRow);
    EXPECT_EQ(testing::probe(engine).strip(5).mixer->outputVolume(), 1.0f);
}

TEST(AudioEngineBusAutomation, MasterLanesUseTheFormulasOfTheStaticSettings)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(2, 1);
    Cell cell = testing::noteCell(60);
    cell.locks = {{ParameterTarget::masterBitDepth, 8}, {ParameterTarget::masterDrive, 0.5},
                  {ParameterTarget::masterDelayTime, 0.5}, {ParameterTarget::masterReverb, 0.25}};
    project.patterns[0].setCell(0, 0, cell);
    const auto timeline = timelineOf(project);
    engine.schedule(timeline, project, true, false, 0);
    EXPECT_EQ((*testing::probe(engine).master().crusher).wetDryMix(), 100.0f);
    EXPECT_NEAR((*testing::probe(engine).master().crusher).rounding(), 66.667f, 1e-3);
    EXPECT_FLOAT_EQ((*testing::probe(engine).master().crusher).decimationMix(), 17.5f);
    EXPECT_FLOAT_EQ((*testing::probe(engine).master().drive).preGain(), 9.0f);
    EXPECT_FLOAT_EQ((*testing::probe(engine).master().drive).wetDryMix(), 37.5f);
    EXPECT_EQ((*testing::probe(engine).master().delay).delayTime(), 0.5);
    EXPECT_FLOAT_EQ((*testing::probe(engine).master().reverb).wetDryMix(), 25.0f);
    // Parameters without a lane keep what the project set.
    EXPECT_EQ((*testing::probe(engine).master().delay).wetDryMix(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().filter).frequency(), static_cast<float>(testing::engineRate / 2));

    // After the playback, applying the project puts the static settings back.
    engine.stop();
    engine.apply(project);
    EXPECT_EQ((*testing::probe(engine).master().crusher).wetDryMix(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().delay).delayTime(), 0.25);
}

TEST(AudioEngineBusAutomation, AnEnvelopeOnATrackFollowsTheTracksLatestNote)
{
    AudioEngine engine(testing::manualEngine());
    Project project = testing::sequencerProject(8, 3);
    ModulationSource envelope{.name = "Envelope 1", .kind = ModulationSourceKind::envelope, .attack = 0.5};
    project.modulation = ModulationRack{
        .sources = {envelope},
        .routes = {ModulationRoute{.sourceID = envelope.id, .target = ParameterTarget::trackCutoff, .amount = -0.5, .track = 2}}};
    project.mixer[2].cutoff = 8000;
    project.patterns[0].setCell(1, 2, testing::noteCell(60));
    Cell later = testing::noteCell(62);
    later.gate = 0.5;
    project.patterns[0].setCell(4, 2, later);
    project.patterns[0].setCell(5, 1, testing::noteCell(64)); // another track's note does not restart it
    const auto timeline = timelineOf(project);
    engine.schedule(timeline, project, true, false, 0);

    struct Case {
        std::int64_t frame;
        std::int64_t noteStart;
        std::int64_t noteLength;
    };
    const Case cases[] = {
        {engineRow / 2, engineRow / 2, 1},                 // before the track's first note
        {engineRow + 100, engineRow, engineRow},           // the first note
        {5 * engineRow + 100, 4 * engineRow, engineRow / 2}, // the second, whatever plays on track 1
    };
    for (const auto& c : cases) {
        engine.updateAutomatedBuses(project, timeline, c.frame);
        const double expected = busParameterValue(ParameterTarget::trackCutoff, 8000, c.frame, 2, project, timeline,
                                                  nullptr, c.noteStart, c.noteLength);
        EXPECT_FLOAT_EQ(testing::probe(engine).strip(2).filter->frequency(), static_cast<float>(expected)) << c.frame;
    }
    EXPECT_LT(testing::probe(engine).strip(2).filter->frequency(), 8000.0f);
}

} // namespace
} // namespace veltrane
