#include "VeltraneCore/Automation/AutomationEvaluator.hpp"

#include "PlaybackTimelineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using T = ParameterTarget;

TimelineLockEvent lockEvent(std::int64_t frame, int track, std::vector<ParameterLock> locks,
                            std::optional<int> instrument = std::nullopt)
{
    return TimelineLockEvent{.frame = frame, .track = track, .instrument = instrument, .locks = std::move(locks)};
}

PlaybackTimeline timelineWithLocks(std::vector<TimelineLockEvent> locks)
{
    PlaybackTimeline timeline;
    timeline.sampleRate = kRate;
    timeline.totalFrames = 10000;
    timeline.locks = std::move(locks);
    return timeline;
}

/// The value a normalised fraction `t` of the way from `a` to `b`.
double along(T target, double a, double b, double t)
{
    return valueAtNormalized(target, normalized(target, a) + t * (normalized(target, b) - normalized(target, a)));
}

} // namespace

TEST(AutomationEvaluator, WithoutLockEventsEveryQueryGivesTheDefault)
{
    const AutomationEvaluator empty;
    const AutomationEvaluator fromTimeline(timelineWithLocks({}));
    for (const auto* evaluator : {&empty, &fromTimeline}) {
        for (auto target : allParameterTargets) {
            EXPECT_FALSE(evaluator->has(target, std::nullopt));
            EXPECT_FALSE(evaluator->has(target, 0));
            EXPECT_EQ(evaluator->value(target, 500, 0, 123.5), 123.5); // unchanged, even out of range
        }
    }
    EXPECT_FALSE(hasAutomation(T::trackVolume, std::nullopt, std::nullopt, timelineWithLocks({})));
    EXPECT_EQ(automationValue(T::trackVolume, 0, std::nullopt, std::nullopt, 7, timelineWithLocks({})), 7);
}

TEST(AutomationEvaluator, InterpolatesBetweenLocksInTheNormalisedRange)
{
    const AutomationEvaluator lanes(timelineWithLocks({lockEvent(0, 2, {{T::trackVolume, 0.2}}),
                                                       lockEvent(1000, 2, {{T::trackVolume, 0.8}})}));
    EXPECT_TRUE(lanes.has(T::trackVolume, 2));
    EXPECT_TRUE(lanes.has(T::trackVolume, std::nullopt));
    EXPECT_FALSE(lanes.has(T::trackVolume, 3));
    EXPECT_FALSE(lanes.has(T::trackPan, 2));

    struct Case {
        std::int64_t frame;
        std::optional<int> track;
        double expected;
    };
    const std::vector<Case> cases{
        {0, 2, 0.2},      {500, 2, 0.5},  {250, 2, 0.35},         {1000, 2, 0.8},
        {5000, 2, 0.8},   {-50, 2, 0.2},  {500, std::nullopt, 0.5}, {500, 3, 0.9},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(lanes.value(T::trackVolume, c.frame, c.track, 0.9), c.expected, 1e-12)
            << c.frame << " track " << (c.track ? *c.track : -1);
    }
}

TEST(AutomationEvaluator, CutoffsMoveEvenlyInOctaves)
{
    // 20 Hz to 20 kHz over 3,000 frames: a third of the way is 200 Hz, not 6,680 Hz.
    const AutomationEvaluator lanes(timelineWithLocks({lockEvent(0, 0, {{T::masterCutoff, 20}}),
                                                       lockEvent(3000, 0, {{T::masterCutoff, 20000}})}));
    EXPECT_NEAR(lanes.value(T::masterCutoff, 1000, std::nullopt, 18000), 200, 1e-9);
    EXPECT_NEAR(lanes.value(T::masterCutoff, 1500, 0, 18000), 632.4555, 1e-3);
}

TEST(AutomationEvaluator, RampsFromTheDefaultBeforeTheFirstLock)
{
    const auto timeline = timelineWithLocks({lockEvent(4000, 1, {{T::trackPan, -1}})});
    const AutomationEvaluator lanes(timeline);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackPan, 1000, 1, 1.0), 0.5); // a quarter of the way from 1 to -1
    EXPECT_DOUBLE_EQ(lanes.value(T::trackPan, 0, 1, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackPan, 4000, 1, 1.0), -1.0);

    // Before frame 0 the evaluator gives the default through the normalised form (clamped into the range),
    // the free function the default itself.
    EXPECT_DOUBLE_EQ(lanes.value(T::trackPan, -50, 1, 1.0), along(T::trackPan, 1.0, -1, 0));
    EXPECT_DOUBLE_EQ(lanes.value(T::trackPan, -50, 1, 3.0), 1.0);
    EXPECT_DOUBLE_EQ(automationValue(T::trackPan, -50, 1, std::nullopt, 3.0, timeline), 3.0);
    EXPECT_DOUBLE_EQ(automationValue(T::trackPan, 0, 1, std::nullopt, 3.0, timeline), 3.0);
    EXPECT_DOUBLE_EQ(automationValue(T::trackPan, 1000, 1, std::nullopt, 1.0, timeline), 0.5);
}

TEST(AutomationEvaluator, LaterAssignmentsAtOneFrameWin)
{
    // Two tracks lock the same target at one frame: across tracks the higher track holds. One cell with
    // two locks of one target: the second holds.
    const AutomationEvaluator lanes(timelineWithLocks({
        lockEvent(0, 1, {{T::masterVolume, 0.3}}),
        lockEvent(0, 4, {{T::masterVolume, 0.6}}),
        lockEvent(100, 0, {{T::masterDrive, 0.1}, {T::masterDrive, 0.7}}),
    }));
    EXPECT_EQ(lanes.value(T::masterVolume, 0, std::nullopt, 1), 0.6);
    EXPECT_EQ(lanes.value(T::masterVolume, 0, 1, 1), 0.3);
    EXPECT_EQ(lanes.value(T::masterDrive, 100, 0, 0), 0.7);
    EXPECT_EQ(lanes.points(T::masterVolume, std::nullopt), (std::vector<AutomationEvaluator::Point>{{0, 0.6}}));
}

TEST(AutomationEvaluator, LockedValuesOutsideTheRangeAreKeptWhenHitAndClampedWhenInterpolated)
{
    const auto timeline = timelineWithLocks({lockEvent(0, 0, {{T::trackDrive, 1.5}}), lockEvent(100, 0, {{T::trackDrive, 0.5}})});
    const AutomationEvaluator lanes(timeline);
    EXPECT_EQ(lanes.value(T::trackDrive, 0, 0, 0), 1.5);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackDrive, 50, 0, 0), 0.75); // from the clamped 1.0
    EXPECT_EQ(automationValue(T::trackDrive, 0, 0, std::nullopt, 0, timeline), 1.5);
    EXPECT_DOUBLE_EQ(automationValue(T::trackDrive, 50, 0, std::nullopt, 0, timeline), 0.75);
}

TEST(AutomationEvaluator, FreeFunctionsFilterByTrackAndInstrument)
{
    const auto timeline = timelineWithLocks({
        lockEvent(0, 0, {{T::instrumentCutoff, 1000}}, 1),
        lockEvent(0, 1, {{T::instrumentCutoff, 4000}}, std::nullopt),
        lockEvent(2000, 0, {{T::instrumentCutoff, 3000}, {T::instrumentTune, 12}}, 2),
        lockEvent(4000, 0, {{T::instrumentCutoff, 2000}}, 1),
    });
    EXPECT_TRUE(hasAutomation(T::instrumentCutoff, 0, 1, timeline));
    EXPECT_TRUE(hasAutomation(T::instrumentCutoff, 1, std::nullopt, timeline));
    // An instrument filter never matches events that name no instrument.
    EXPECT_FALSE(hasAutomation(T::instrumentCutoff, 1, 1, timeline));
    EXPECT_FALSE(hasAutomation(T::instrumentTune, 0, 1, timeline));
    EXPECT_TRUE(hasAutomation(T::instrumentTune, std::nullopt, 2, timeline));
    EXPECT_FALSE(hasAutomation(T::instrumentPan, std::nullopt, std::nullopt, timeline));

    // Instrument 1 on track 0: 1,000 Hz at 0 to 2,000 Hz at 4,000 (the instrument-2 lock is not its).
    EXPECT_NEAR(automationValue(T::instrumentCutoff, 2000, 0, 1, 18000, timeline), along(T::instrumentCutoff, 1000, 2000, 0.5), 1e-9);
    // Any instrument on track 0: the instrument-2 lock at 2,000 counts.
    EXPECT_DOUBLE_EQ(automationValue(T::instrumentCutoff, 2000, 0, std::nullopt, 18000, timeline), 3000);
    // Any track and instrument: track 1's 4,000 replaces track 0's 1,000 at frame 0.
    EXPECT_DOUBLE_EQ(automationValue(T::instrumentCutoff, 0, std::nullopt, std::nullopt, 18000, timeline), 4000);
    EXPECT_DOUBLE_EQ(automationValue(T::instrumentCutoff, 9000, 0, 1, 18000, timeline), 2000);
    // The evaluator merges instruments.
    const AutomationEvaluator lanes(timeline);
    EXPECT_DOUBLE_EQ(lanes.value(T::instrumentCutoff, 2000, 0, 18000), 3000);
}

TEST(AutomationEvaluator, ReadsTheLocksOfAPlayedProject)
{
    // Track 0 locks the track volume in rows 0 and 2; track 1 locks it in row 1. At 6,000 frames a row.
    auto project = timelineProject({Pattern("P", 4, 2)});
    writeTrack(project, 0, 0, {Cell{.locks = {{T::trackVolume, 0.2}}}, std::nullopt, Cell{.locks = {{T::trackVolume, 0.6}}}});
    writeTrack(project, 0, 1, {std::nullopt, Cell{.locks = {{T::trackVolume, 1.0}}}});
    const auto timeline = playbackTimeline(project, PatternScope{0}, 0, 0, kRate, true);
    const AutomationEvaluator lanes(timeline);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackVolume, 6000, 0, 0.85), 0.4);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackVolume, 6000, std::nullopt, 0.85), 1.0);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackVolume, 9000, std::nullopt, 0.85), 0.8);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackVolume, 3000, 1, 0.0), 0.5);
    EXPECT_DOUBLE_EQ(lanes.value(T::trackVolume, 20000, 0, 0.85), 0.6);
}

TEST(AutomationEvaluator, AnyTrackNumberGetsItsOwnLane)
{
    // Track numbers far apart (a hand-made timeline) cost no more than the tracks that hold locks.
    const AutomationEvaluator lanes(timelineWithLocks({lockEvent(0, 2'000'000'000, {{T::trackDrive, 0.4}}),
                                                       lockEvent(10, -3, {{T::trackDrive, 0.9}})}));
    EXPECT_EQ(lanes.value(T::trackDrive, 0, 2'000'000'000, 0), 0.4);
    EXPECT_EQ(lanes.value(T::trackDrive, 10, -3, 0), 0.9);
    EXPECT_EQ(lanes.value(T::trackDrive, 10, 5, 0.25), 0.25);
    EXPECT_EQ(lanes.value(T::trackDrive, 10, std::nullopt, 0), 0.9);
}
