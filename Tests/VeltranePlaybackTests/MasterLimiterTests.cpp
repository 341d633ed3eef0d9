// The master limiter holds full scale however loud the mix, live and in the export, and leaves a quiet
// passage exactly as it was.

#include "AudioEngineTestSupport.hpp"
#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace veltrane {
namespace {

constexpr int loudTrackCount = 24;
constexpr int quietTrack = loudTrackCount;
constexpr int quietRow = 16;

// 24 square notes at full scale, struck together on row 0 and held for two rows, then (when `loud` is
// false, alone) one quiet note on row 16, long after the limiter has let go of the chord.
Project chordThenQuietNote(bool loud)
{
    Project project = testing::sequencerProject(24, loudTrackCount + 1);
    project.instruments[0].volume = 1;
    if (loud) {
        for (int track = 0; track < loudTrackCount; ++track) {
            Cell cell = testing::noteCell(48 + track);
            cell.gate = 2;
            project.patterns[0].setCell(0, track, cell);
        }
    }
    Cell quiet = testing::noteCell(69);
    quiet.volume = 16;
    quiet.gate = 2;
    project.patterns[0].setCell(quietRow, quietTrack, quiet);
    return project;
}

testing::Capture playLive(const Project& project)
{
    AudioEngine engine(testing::manualEngine());
    const PlaybackTimeline timeline = playbackTimeline(project, PatternScope{0}, 0, 0, testing::engineRate, false);
    engine.schedule(timeline, project, false, false, 0);
    return testing::renderEngine(engine, testing::engineLead + timeline.totalFrames);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b, std::int64_t from, std::int64_t to)
{
    return to <= std::int64_t(a.size()) && to <= std::int64_t(b.size())
           && std::memcmp(a.data() + from, b.data() + from, sizeof(float) * std::size_t(to - from)) == 0;
}

float peakOf(const std::vector<float>& samples, std::int64_t from, std::int64_t to)
{
    float peak = 0;
    for (std::int64_t i = from; i < std::min<std::int64_t>(to, std::int64_t(samples.size())); ++i)
        peak = std::max(peak, std::abs(samples[std::size_t(i)]));
    return peak;
}

TEST(MasterLimiter, ALoudOnsetNeverLeavesAboveFullScaleLive)
{
    const testing::Capture loud = playLive(chordThenQuietNote(true));
    const std::int64_t onset = testing::engineLead;
    EXPECT_LE(loud.peak(0, loud.size()), 1.0f) << "the chord's onset went through the limiter";
    EXPECT_GT(loud.peak(onset, onset + 2 * testing::engineRow), 0.9f) << "the chord is held, not muted";

    // The quiet note, long after the chord, sounds exactly as it does alone.
    const testing::Capture alone = playLive(chordThenQuietNote(false));
    const std::int64_t quietFrom = onset + quietRow * testing::engineRow;
    ASSERT_GT(alone.peak(quietFrom, alone.size()), 0.05f);
    EXPECT_LT(alone.peak(quietFrom, alone.size()), 0.5f);
    EXPECT_TRUE(sameBits(loud.left, alone.left, quietFrom, alone.size()));
    EXPECT_TRUE(sameBits(loud.right, alone.right, quietFrom, alone.size()));
}

TEST(MasterLimiter, ALoudOnsetNeverLeavesAboveFullScaleInTheExport)
{
    testing::TemporaryFolder folder;
    const testing::RenderedFile loud = testing::renderAndRead(chordThenQuietNote(true), folder, std::nullopt, nullptr, "loud.wav");
    const testing::RenderedFile alone = testing::renderAndRead(chordThenQuietNote(false), folder, std::nullopt, nullptr, "alone.wav");
    EXPECT_LE(loud.peak(), 1.0f) << "the chord's onset went through the limiter";
    const std::int64_t row = 5512; // 0.125 s at 44.1 kHz, rounded down
    EXPECT_GT(peakOf(loud.left, 0, 2 * row), 0.9f) << "the chord is held, not muted";

    // The quiet note lies at its own frame and sounds exactly as it does alone.
    const std::int64_t quietFrom = quietRow * 5512;
    ASSERT_EQ(loud.frames, alone.frames);
    ASSERT_GT(alone.rms(quietFrom, quietFrom + row), 0.01);
    EXPECT_TRUE(sameBits(loud.left, alone.left, quietFrom, alone.frames));
    EXPECT_TRUE(sameBits(loud.right, alone.right, quietFrom, alone.frames));
}

TEST(MasterLimiter, TheExportKeepsEverySoundAtItsFrameDespiteTheLookAhead)
{
    // A hosted stand-in that plays a constant level while its note is held, from row 4 (0.5 s) for a row.
    Project project = testing::smallSong(8, 1);
    project.instruments.push_back(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt));
    project.patterns.front().setCell(4, 0, testing::note(60, 4, 1.0));
    testing::TemporaryFolder folder;
    const testing::RenderedFile file = testing::renderAndRead(project, folder);

    std::int64_t onset = -1;
    for (std::int64_t i = 0; i < file.frames && onset < 0; ++i) {
        if (file.left[std::size_t(i)] != 0.0f) onset = i;
    }
    EXPECT_EQ(onset, 22050);
    EXPECT_GT(file.rms(22050, 22050 + 5000), 0.01);
    // One second of song and the three seconds after it, no more.
    EXPECT_EQ(file.frames, 4 * 44100);
}

} // namespace
} // namespace veltrane
