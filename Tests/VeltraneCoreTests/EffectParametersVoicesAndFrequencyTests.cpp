#include "VeltraneCore/Tracker/NoteFrequency.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace veltrane;

TEST(TrackerVoice, EachTrackHasEightVoices) { EXPECT_EQ(trackerVoiceCount, 8); }

TEST(TrackerVoice, ChoosesTheFirstFreeVoiceOrStealsTheOneThatFreesFirst)
{
    struct Case {
        const char* name;
        std::vector<std::int64_t> busy;
        std::int64_t start, end;
        int voice;
        std::vector<std::int64_t> after;
    };
    const std::vector<Case> cases{
        {"first free by index", {100, 50, 200, 50}, 60, 90, 1, {100, 90, 200, 50}},
        {"free exactly at start", {100, 60, 200, 50}, 60, 90, 1, {100, 90, 200, 50}},
        {"none free: lowest of the earliest", {100, 50, 200, 50}, 40, 90, 1, {100, 90, 200, 50}},
        {"none free: earliest wins over index", {100, 70, 200, 50}, 40, 90, 3, {100, 70, 200, 90}},
        {"zero length holds one frame", {0, 0}, 10, 10, 0, {11, 0}},
        {"end before start holds one frame", {0, 0}, 10, 3, 0, {11, 0}},
        {"all free at the start", {0, 0, 0}, 0, 500, 0, {500, 0, 0}},
    };
    for (auto c : cases) {
        EXPECT_EQ(allocateTrackerVoice(c.busy, c.start, c.end), c.voice) << c.name;
        EXPECT_EQ(c.busy, c.after) << c.name;
    }
}

TEST(TrackerVoice, ANinthOverlappingNoteStealsTheVoiceThatFreesFirst)
{
    std::array<std::int64_t, trackerVoiceCount> busy{};
    // Eight chord notes of different lengths, all starting at frame 0.
    for (int v = 0; v < trackerVoiceCount; ++v) EXPECT_EQ(allocateTrackerVoice(busy, 0, 1000 - v * 10), v);
    EXPECT_EQ(allocateTrackerVoice(busy, 5, 2000), 7); // voice 7 ends soonest (930)
    // At 950 voices 5 (free since 950) and 6 (since 940) are free: the lower index plays.
    EXPECT_EQ(allocateTrackerVoice(busy, 950, 960), 5);
    EXPECT_EQ(busy[5], 960);
}

TEST(TrackerVoice, AnEmptyListChoosesNothing)
{
    std::vector<std::int64_t> none;
    EXPECT_EQ(allocateTrackerVoice(none, 0, 10), -1);
}

TEST(NoteFrequency, EqualTemperamentFromA440)
{
    EXPECT_DOUBLE_EQ(noteFrequency(69), 440.0);
    EXPECT_NEAR(noteFrequency(60), 261.6255653, 1e-6);
    EXPECT_DOUBLE_EQ(noteFrequency(81), 880.0);
    EXPECT_DOUBLE_EQ(noteFrequency(57), 220.0);
    EXPECT_NEAR(noteFrequency(0), 8.1757989, 1e-6);
    EXPECT_NEAR(noteFrequency(127), 12543.8539514, 1e-6);
    // A pitch plus a tune of a fraction of a semitone.
    EXPECT_NEAR(noteFrequency(69 + 0.5), 440.0 * 1.0293022366, 1e-6);
    EXPECT_DOUBLE_EQ(noteFrequency(60 + 12), 2 * noteFrequency(60));
}
