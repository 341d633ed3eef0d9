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

// Row 4 (frame 24,000) plays the JX10 on track 0, panned hard left, and the square organ on track 1,
// panned hard right: the hosted note and the rendered one must sound together.
Project hostedAndRenderedOnRowFour()
{
    Project project = testing::sequencerProject(8, 2);
    project.instruments.push_back(Instrument::withAudioUnit(
        "Lead", AudioUnitReference{audioUnitInstrumentType, fnv1a32(testing::jx10Uri), fnv1a32("drobilla.net"), "MDA JX10", "David Robillard"},
        std::nullopt));
    project.mixer[0].pan = -1;
    project.mixer[1].pan = 1;
    Cell hosted = testing::noteCell(60, 1);
    hosted.gate = 1;
    project.patterns[0].setCell(4, 0, hosted);
    Cell rendered = testing::noteCell(60, 0);
    rendered.gate = 1;
    project.patterns[0].setCell(4, 1, rendered);
    return project;
}

std::int64_t onsetIn(const std::vector<float>& samples, float threshold = 1e-4f)
{
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) > threshold) return std::int64_t(i);
    }
    return -1;
}

TEST(AudioEngineHostedPlayback, HostedNotesFollowTheTransportClockAsRenderedNotesDo)
{
    VELTRANE_REQUIRE_MDA();
    const struct {
        const char* name;
        float rateBefore; ///< the time-pitch rate of a second before playback (then a stop)
        float rateDuring; ///< the rate while playing, as when following a MIDI clock
    } cases[] = {
        {"at rate 1", 1, 1},
        {"after a second at rate 2 and a stop", 2, 1},
        {"while playing at rate 2", 1, 2},
        {"while playing at rate 0.5 after a second at rate 2", 2, 0.5f},
    };
    for (const auto& c : cases) {
        AudioEngine engine(testing::manualEngine());
        const Project project = hostedAndRenderedOnRowFour();
        const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, false);
        ASSERT_TRUE(engine.prepareAudioUnits(project, timeline).empty());
        engine.transport().setRate(c.rateBefore);
        testing::renderEngine(engine, std::int64_t(testing::engineRate));
        engine.stop();

        engine.schedule(timeline, project, false, false, 0);
        engine.transport().setRate(c.rateDuring);
        const auto capture = testing::renderEngine(engine, testing::engineLead + std::int64_t(timeline.totalFrames / c.rateDuring));
        const std::int64_t hosted = onsetIn(capture.left);
        const std::int64_t rendered = onsetIn(capture.right);
        ASSERT_GT(rendered, 0) << c.name;
        if (c.rateDuring == 1) {
            EXPECT_EQ(rendered, testing::engineLead + 4 * testing::engineRow) << c.name;
        }
        // The synth's attack may take a few frames to be heard.
        EXPECT_GE(hosted, rendered - 64) << c.name;
        EXPECT_LT(hosted, rendered + 64) << c.name;
    }
}

} // namespace
} // namespace veltrane
