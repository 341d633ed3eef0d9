#include "VeltranePlayback/NotePlan/NoteChance.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;

TEST(NoteChance, TheFirstFrameOfASongCanBeDropped)
{
    // On the first row every track starts at frame 0; with the chance at 0 a note survives only when its
    // roll is exactly 0, which no track of a full pattern gets.
    int dropped = 0;
    for (int track = 0; track < 32; ++track) {
        if (!noteSurvivesChance(0, track, 0.0)) ++dropped;
    }
    EXPECT_EQ(dropped, 32);

    int kept = 0;
    for (int track = 0; track < 32; ++track) {
        if (noteSurvivesChance(0, track, 0.5)) ++kept;
    }
    EXPECT_GT(kept, 4);
    EXPECT_LT(kept, 28);
}

TEST(NoteChance, TheSameNoteAlwaysGetsTheSameDecision)
{
    for (std::int64_t frame : {std::int64_t{0}, std::int64_t{5513}, std::int64_t{-7},
                               std::numeric_limits<std::int64_t>::max()}) {
        for (int track : {0, 3, 31}) {
            const double roll = chanceRoll(frame, track);
            EXPECT_GE(roll, 0);
            EXPECT_LE(roll, 1);
            EXPECT_EQ(chanceRoll(frame, track), roll);
            EXPECT_EQ(noteSurvivesChance(frame, track, 0.5), roll <= 0.5);
        }
    }
}

TEST(NoteChance, KeepsAboutTheChanceOfNotesAndAllAtOne)
{
    int kept = 0;
    int keptAtOne = 0;
    const int notes = 20000;
    for (int i = 0; i < notes; ++i) {
        const std::int64_t frame = static_cast<std::int64_t>(i) * 5513; // one note per row at 120 bpm
        kept += noteSurvivesChance(frame, i % 8, 0.25) ? 1 : 0;
        keptAtOne += noteSurvivesChance(frame, i % 8, 1.0) ? 1 : 0;
    }
    EXPECT_NEAR(static_cast<double>(kept) / notes, 0.25, 0.02);
    EXPECT_EQ(keptAtOne, notes);
    EXPECT_FALSE(noteSurvivesChance(1000, 0, std::nan("")));
}

TEST(NoteChance, NeighbouringTracksAndFramesDecideIndependently)
{
    // Two notes on different tracks at the same frame, or on the same track a frame apart, must not
    // share a roll: a drum row with chance would otherwise drop all its hits together.
    int sameAcrossTracks = 0;
    int sameAcrossFrames = 0;
    for (std::int64_t frame = 0; frame < 1000; ++frame) {
        sameAcrossTracks += chanceRoll(frame * 6000, 0) == chanceRoll(frame * 6000, 1) ? 1 : 0;
        sameAcrossFrames += chanceRoll(frame, 2) == chanceRoll(frame + 1, 2) ? 1 : 0;
    }
    EXPECT_LT(sameAcrossTracks, 5);
    EXPECT_LT(sameAcrossFrames, 5);
}
