#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"
#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

/// A 16-row pattern (two seconds) whose row 0 plays the mda JX10 on track 0, for half a row.
Project hostedPattern()
{
    Project project = testing::sequencerProject(16, 1);
    project.instruments = {Instrument::withAudioUnit(
        "Lead", AudioUnitReference{audioUnitInstrumentType, fnv1a32(testing::jx10Uri), fnv1a32("drobilla.net"), "MDA JX10", "David Robillard"},
        std::nullopt)};
    Cell cell = testing::noteCell(60);
    cell.gate = 0.5;
    project.patterns[0].setCell(0, 0, cell);
    return project;
}

TEST(AudioEngineHostedPlayback, HostedNotesPlayEveryCycleAndStopDropsTheNotesStillQueued)
{
    VELTRANE_REQUIRE_MDA();
    AudioEngine engine(testing::manualEngine());
    const Project project = hostedPattern();
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, true);
    ASSERT_TRUE(engine.prepareAudioUnits(project, timeline).empty());
    engine.schedule(timeline, project, true, false, 0);

    // The note starts at its frame (the synth's attack may take a few frames to be heard), and again in
    // the next cycle, over the long release of the pad the JX10 plays by default.
    auto capture = testing::renderEngine(engine, testing::engineLead + 2 * timeline.totalFrames);
    const std::int64_t onset = capture.onset(0);
    EXPECT_GE(onset, testing::engineLead);
    EXPECT_LT(onset, testing::engineLead + 64);
    const std::int64_t second = testing::engineLead + timeline.totalFrames;
    EXPECT_GT(capture.peak(second, second + 1000), 4 * capture.peak(second - 1000, second));

    // Stopped at the end of cycle 1, with cycles 2 and 3 queued: their notes never sound.
    engine.stop();
    testing::renderEngine(engine, testing::engineRate); // the release of what sounded
    capture = testing::renderEngine(engine, 3 * timeline.totalFrames);
    EXPECT_LT(capture.peak(0, capture.size()), 1e-4f);
}

} // namespace
} // namespace veltrane
