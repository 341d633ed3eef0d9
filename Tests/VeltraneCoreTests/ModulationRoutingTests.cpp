#include "VeltraneCore/Modulation/ModulationRouting.hpp"
#include "VeltraneCore/Modulation/ModulationSignal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace veltrane;

namespace {

constexpr double kRate = 48000;

ModulationSource macro(double value)
{
    return {.name = "Macro", .kind = ModulationSourceKind::macro, .macroValue = value};
}

Project projectWith(std::vector<ModulationSource> sources, std::vector<ModulationRoute> routes)
{
    Project project;
    project.bpm = 120;
    project.modulation = ModulationRack{std::move(sources), std::move(routes)};
    return project;
}

ModulationRoute route(const ModulationSource& source, ParameterTarget target, double amount,
                      std::optional<int> track = std::nullopt, std::optional<int> instrument = std::nullopt)
{
    return {.sourceID = source.id, .target = target, .amount = amount, .track = track, .instrument = instrument};
}

double valueOf(ParameterTarget target, double base, const Project& project, int track = 0, int instrument = 0,
               std::int64_t frame = 0)
{
    return modulatedValue(target, base, frame, 0, 1, track, instrument, project, kRate);
}

} // namespace

TEST(ModulationRouting, WithoutARackTheBaseIsUntouchedAndNothingIsModulated)
{
    Project project;
    project.modulation.reset();
    EXPECT_EQ(valueOf(ParameterTarget::instrumentTune, 60, project), 60);
    EXPECT_FALSE(hasModulation(ParameterTarget::instrumentTune, 0, 0, project));
    EXPECT_FALSE(hasModulation(ParameterTarget::trackVolume, std::nullopt, project));
}

TEST(ModulationRouting, ARackHoldsTheBaseToTheTargetsRangeEvenWithoutRoutes)
{
    const auto project = projectWith({}, {});
    EXPECT_EQ(valueOf(ParameterTarget::instrumentTune, 60, project), 48);
    EXPECT_EQ(valueOf(ParameterTarget::instrumentAttack, -1, project), 0);
    EXPECT_NEAR(valueOf(ParameterTarget::masterCutoff, 1000, project), 1000, 1e-9);
}

TEST(ModulationRouting, AmountsAddInTheNormalisedFormAndAreHeldToMinusOneToOne)
{
    const auto half = macro(0.5);
    struct Case { double amount; double expected; };
    // Volume 0.5 plus amount × 0.5, held to 0 to 1.
    const Case cases[] = {{0.2, 0.6}, {-0.2, 0.4}, {1.5, 1.0}, {-3, 0.0}, {std::nan(""), 0.5}};
    for (const auto& c : cases) {
        const auto project = projectWith({half}, {route(half, ParameterTarget::instrumentVolume, c.amount)});
        EXPECT_NEAR(valueOf(ParameterTarget::instrumentVolume, 0.5, project), c.expected, 1e-12) << c.amount;
    }
    // 1.5 acts as 1 and -3 as -1: a full macro swings pan from the centre to either end and no further.
    const auto full = macro(1);
    EXPECT_EQ(valueOf(ParameterTarget::trackPan, 0.2, projectWith({full}, {route(full, ParameterTarget::trackPan, 1.5)})), 1);
    EXPECT_EQ(valueOf(ParameterTarget::trackPan, 0.2, projectWith({full}, {route(full, ParameterTarget::trackPan, -3)})), -1);
}

TEST(ModulationRouting, CutoffIsModulatedOnItsLogarithmicScale)
{
    const auto full = macro(1);
    const auto project = projectWith({full}, {route(full, ParameterTarget::instrumentCutoff, 0.1)});
    EXPECT_NEAR(valueOf(ParameterTarget::instrumentCutoff, 1000, project), 1000 * std::pow(1000, 0.1), 1e-6);
    EXPECT_NEAR(valueOf(ParameterTarget::instrumentCutoff, 1000, project), 1995.26, 0.01);
}

TEST(ModulationRouting, RoutesSumInOrderAndAMissingSourceAddsNothing)
{
    ModulationSource sine{.kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::sine, .rateBeats = 1};
    const auto quarter = macro(0.25);
    const auto target = ParameterTarget::masterDelay;
    // Frame 6,000 is a quarter beat at 120 bpm: the sine is at 1.
    const auto twice = projectWith({sine}, {route(sine, target, 0.1), route(sine, target, 0.1)});
    EXPECT_NEAR(valueOf(target, 0.3, twice, 0, 0, 6000), 0.5, 1e-12);

    const auto mixed = projectWith({sine, quarter}, {route(sine, target, 0.1), route(quarter, target, -0.4)});
    EXPECT_NEAR(valueOf(target, 0.3, mixed, 0, 0, 6000), 0.3, 1e-12);

    // Nothing is clamped between routes: +1 then -1 from a base at the top stays at the top.
    const auto full = macro(1);
    const auto overAndBack = projectWith({full}, {route(full, target, 1), route(full, target, -1)});
    EXPECT_NEAR(valueOf(target, 0.9, overAndBack), 0.9, 1e-12);

    const ModulationSource deleted = macro(1);
    const auto orphan = projectWith({quarter}, {route(deleted, target, 1)});
    EXPECT_NEAR(valueOf(target, 0.3, orphan), 0.3, 1e-12);
    EXPECT_TRUE(hasModulation(target, std::nullopt, orphan));
    EXPECT_TRUE(hasModulation(ParameterTarget::masterDelay, 0, 0, orphan));
}

TEST(ModulationRouting, TheFirstSourceWithAnIdentifierDrivesItsRoutes)
{
    auto first = macro(1);
    auto second = macro(0);
    second.id = first.id;
    const auto project = projectWith({first, second}, {route(first, ParameterTarget::instrumentVolume, 0.5)});
    EXPECT_NEAR(valueOf(ParameterTarget::instrumentVolume, 0.2, project), 0.7, 1e-12);
}

TEST(ModulationRouting, ManyRoutesToOneParameterFindTheirSourcesAsOneRouteDoes)
{
    // Past a few routes to one parameter the sources are looked up through an index: the same sources
    // must answer, the first of two sharing an identifier, none for a deleted one.
    auto first = macro(1);
    auto twin = macro(0);
    twin.id = first.id;
    const auto deleted = macro(1);
    std::vector<ModulationSource> sources{macro(0.25), first, twin};
    std::vector<ModulationRoute> routes;
    for (int i = 0; i < 20; ++i) {
        const auto& source = i % 4 == 3 ? deleted : sources[static_cast<std::size_t>(i % 3)];
        routes.push_back(route(source, ParameterTarget::instrumentTune, 0.01));
    }
    const auto project = projectWith(sources, routes);
    // The sum as the list search of every route's source gives it.
    const auto target = ParameterTarget::instrumentTune;
    double n = normalized(target, 0);
    int found = 0;
    for (const auto& each : routes) {
        if (const auto* source = project.modulation->source(each.sourceID)) {
            n += 0.01 * std::clamp(source->macroValue, 0.0, 1.0);
            ++found;
        }
    }
    ASSERT_EQ(found, 15);
    EXPECT_NEAR(valueOf(target, 0, project), valueAtNormalized(target, n), 1e-12);
    EXPECT_NE(valueOf(target, 0, project), valueAtNormalized(target, normalized(target, 0) + 0.01 * 20));
}

TEST(ModulationSourceIndex, FindsTheFirstSourceOfAnIdentifierAndNoneForAnUnknownOne)
{
    auto first = macro(1);
    auto twin = macro(0);
    twin.id = first.id;
    ModulationRack rack;
    for (int i = 0; i < 50; ++i) rack.sources.push_back(macro(i / 50.0));
    rack.sources.insert(rack.sources.begin() + 17, first);
    rack.sources.push_back(twin);
    const ModulationSourceIndex index(rack);
    for (const auto& source : rack.sources) EXPECT_EQ(index.find(source.id), rack.source(source.id));
    EXPECT_EQ(index.find(first.id), &rack.sources[17]);
    EXPECT_EQ(index.find(macro(0).id), nullptr);
    EXPECT_EQ(ModulationSourceIndex(ModulationRack{}).find(first.id), nullptr);
}

TEST(ModulationRouting, RouteFiltersOnTrackAndInstrument)
{
    const auto full = macro(1);
    const auto target = ParameterTarget::instrumentVolume;
    struct Case { std::optional<int> routeTrack, routeInstrument; int track, instrument; bool acts; };
    const Case cases[] = {
        {2, std::nullopt, 2, 0, true},  {2, std::nullopt, 3, 0, false},
        {std::nullopt, 1, 3, 1, true},  {std::nullopt, 1, 3, 2, false},
        {std::nullopt, std::nullopt, 7, 9, true}, {4, 5, 4, 5, true}, {4, 5, 4, 6, false},
    };
    for (const auto& c : cases) {
        const auto project = projectWith({full}, {route(full, target, 0.25, c.routeTrack, c.routeInstrument)});
        EXPECT_NEAR(valueOf(target, 0.5, project, c.track, c.instrument), c.acts ? 0.75 : 0.5, 1e-12);
        EXPECT_EQ(hasModulation(target, c.track, c.instrument, project), c.acts);
    }
}

TEST(ModulationRouting, BusQueryLooksAtTheTrackOnly)
{
    const auto full = macro(1);
    const auto onTrack1 = projectWith({full}, {route(full, ParameterTarget::trackDrive, 0.5, 1, 3)});
    EXPECT_TRUE(hasModulation(ParameterTarget::trackDrive, 1, onTrack1));
    EXPECT_FALSE(hasModulation(ParameterTarget::trackDrive, 2, onTrack1));
    EXPECT_TRUE(hasModulation(ParameterTarget::trackDrive, std::nullopt, onTrack1));
    EXPECT_FALSE(hasModulation(ParameterTarget::trackVolume, 1, onTrack1));
}

TEST(ModulationRouting, BusValuesIgnoreInstrumentRoutesAndKeepTrackRoutesOffTheMaster)
{
    const auto full = macro(1);
    struct Case { ParameterTarget target; std::optional<int> routeTrack, routeInstrument, busTrack; bool acts; };
    const Case cases[] = {
        {ParameterTarget::masterDrive, std::nullopt, std::nullopt, std::nullopt, true},
        {ParameterTarget::masterDrive, 0, std::nullopt, std::nullopt, false},
        // A damaged file's track -1 must not pass for the master bus.
        {ParameterTarget::masterDrive, -1, std::nullopt, std::nullopt, false},
        {ParameterTarget::trackDrive, 2, std::nullopt, 2, true},
        {ParameterTarget::trackDrive, 2, std::nullopt, 1, false},
        {ParameterTarget::trackDrive, std::nullopt, 3, 2, false},
        {ParameterTarget::trackDrive, std::nullopt, -1, 2, false},
    };
    for (const auto& c : cases) {
        const auto project = projectWith({full}, {route(full, c.target, 0.25, c.routeTrack, c.routeInstrument)});
        EXPECT_NEAR(modulatedBusValue(c.target, 0.5, 0, 0, 1, c.busTrack, project, kRate), c.acts ? 0.75 : 0.5, 1e-12)
            << toRawValue(c.target) << " route track " << c.routeTrack.value_or(99);
    }
}
