// The modulation rack edits: names and defaults of new sources and routes, route scopes, and which
// calls are undo steps.

#include "ModelTestSupport.hpp"

#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

AppModel& modelWithoutRack(ModelHarness& harness)
{
    auto& model = harness.make();
    Project project = model.project();
    project.modulation.reset();
    model.setProject(std::move(project));
    return model;
}

const ModulationRack& rack(const AppModel& model) { return *model.project().modulation; }

} // namespace

TEST(AppModelModulation, NewSourcesAreNumberedByKindWithTheDefaults)
{
    ModelHarness harness;
    auto& model = modelWithoutRack(harness);
    model.addModulationSource(ModulationSourceKind::lfo);
    ASSERT_TRUE(model.project().modulation);
    ASSERT_EQ(rack(model).sources.size(), 1u);
    EXPECT_TRUE(rack(model).routes.empty());

    model.addModulationSource(ModulationSourceKind::envelope);
    model.addModulationSource(ModulationSourceKind::lfo);
    model.addModulationSource(ModulationSourceKind::macro);
    std::vector<std::string> names;
    for (const auto& source : rack(model).sources) names.push_back(source.name);
    EXPECT_EQ(names, (std::vector<std::string>{"LFO 1", "Envelope 1", "LFO 2", "Macro 1"}));

    for (const auto& source : rack(model).sources) {
        ModulationSource expected;
        expected.id = source.id;
        expected.name = source.name;
        expected.kind = source.kind;
        EXPECT_EQ(source, expected);
        EXPECT_EQ(source.rateBeats, 1.0);
        EXPECT_EQ(source.sustain, 0.7);
        EXPECT_EQ(source.macroValue, 0.5);
    }

    // Numbers count what is there now: removing LFO 1 and adding an LFO gives a second LFO 2.
    model.removeModulationSource(rack(model).sources[0].id);
    model.addModulationSource(ModulationSourceKind::lfo);
    EXPECT_EQ(rack(model).sources.back().name, "LFO 2");
}

TEST(AppModelModulation, ChangesToMissingElementsRecordNothing)
{
    ModelHarness harness;
    auto& model = modelWithoutRack(harness);
    model.updateModulationSource(Uuid::random(), [](ModulationSource& s) { s.name = "x"; });
    model.updateModulationRoute(Uuid::random(), [](ModulationRoute& r) { r.amount = 1; });
    EXPECT_FALSE(model.canUndo());
    EXPECT_FALSE(model.isDirty());

    model.addModulationSource(ModulationSourceKind::macro);
    model.undo();
    model.redo();
    model.undo();
    model.redo();
    const auto redo = model.redoStack().size();
    const auto undo = model.undoStack().size();
    model.updateModulationSource(Uuid::random(), [](ModulationSource& s) { s.name = "x"; });
    model.setModulationRouteDestination(Uuid::random(), ParameterTarget::masterDelay);
    EXPECT_EQ(model.undoStack().size(), undo);
    EXPECT_EQ(model.redoStack().size(), redo);
}

TEST(AppModelModulation, ValuesAreStoredAsGivenAndEveryChangeIsAStep)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.addModulationSource(ModulationSourceKind::lfo);
    const Uuid id = rack(model).sources[0].id;
    model.addModulationRoute(id, ParameterTarget::masterDelay);
    const Uuid route = rack(model).routes[0].id;
    model.undo();
    model.redo();

    model.updateModulationSource(id, [](ModulationSource& s) { s.rateBeats = 0; });
    EXPECT_FALSE(model.canRedo());
    model.updateModulationSource(id, [](ModulationSource& s) { s.rateBeats = 0; });
    model.updateModulationRoute(route, [](ModulationRoute& r) { r.amount = 3; });
    EXPECT_EQ(rack(model).sources[0].rateBeats, 0);
    EXPECT_EQ(rack(model).routes[0].amount, 3);
    EXPECT_EQ(model.undoStack().size(), 5u);

    // A value a project file could not hold again is refused.
    model.updateModulationRoute(route, [](ModulationRoute& r) { r.amount = std::numeric_limits<double>::quiet_NaN(); });
    model.updateModulationSource(id, [](ModulationSource& s) { s.phase = std::numeric_limits<double>::infinity(); });
    EXPECT_EQ(model.undoStack().size(), 5u);

    for (int value = 0; value < 10; ++value) {
        model.updateModulationSource(id, [value](ModulationSource& s) { s.macroValue = value / 10.0; });
    }
    EXPECT_EQ(model.undoStack().size(), 15u);
}

TEST(AppModelModulation, RoutesAreScopedByTheirTargetsKind)
{
    ModelHarness harness;
    auto& model = modelWithoutRack(harness);
    const Uuid source = Uuid::random();
    model.select(0, 3, std::nullopt, false);
    model.setSelectedInstrument(2);
    model.addModulationRoute(source, ParameterTarget::trackCutoff);
    ASSERT_TRUE(model.project().modulation);
    EXPECT_TRUE(rack(model).sources.empty());
    model.addModulationRoute(source, ParameterTarget::instrumentTune);
    model.addModulationRoute(source, ParameterTarget::masterDelay);
    model.addModulationRoute(source, ParameterTarget::masterDelay); // duplicates are allowed
    const auto& routes = rack(model).routes;
    ASSERT_EQ(routes.size(), 4u);
    EXPECT_EQ(routes[0].track, 3);
    EXPECT_FALSE(routes[0].instrument);
    EXPECT_EQ(routes[1].instrument, 2);
    EXPECT_FALSE(routes[1].track);
    EXPECT_FALSE(routes[2].track);
    EXPECT_FALSE(routes[2].instrument);
    for (const auto& route : routes) EXPECT_EQ(route.amount, 0.25);
    EXPECT_NE(routes[2].id, routes[3].id);

    const Uuid second = routes[1].id;
    model.select(0, 5, std::nullopt, false);
    model.setModulationRouteDestination(second, ParameterTarget::masterCutoff);
    EXPECT_FALSE(rack(model).routes[1].instrument);
    EXPECT_FALSE(rack(model).routes[1].track);
    model.setModulationRouteDestination(second, ParameterTarget::trackPan);
    EXPECT_EQ(rack(model).routes[1].track, 5);
    EXPECT_EQ(rack(model).routes[1].target, ParameterTarget::trackPan);
}

TEST(AppModelModulation, RemovingASourceTakesItsRoutesAndNothingElse)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.addModulationSource(ModulationSourceKind::lfo);
    model.addModulationSource(ModulationSourceKind::macro);
    const Uuid lfo = rack(model).sources[0].id;
    const Uuid macro = rack(model).sources[1].id;
    model.addModulationRoute(lfo, ParameterTarget::masterDelay);
    model.addModulationRoute(macro, ParameterTarget::masterReverb);
    model.addModulationRoute(lfo, ParameterTarget::masterDrive);

    model.removeModulationSource(lfo);
    ASSERT_EQ(rack(model).sources.size(), 1u);
    ASSERT_EQ(rack(model).routes.size(), 1u);
    EXPECT_EQ(rack(model).routes[0].sourceID, macro);

    const auto before = rack(model);
    const auto steps = model.undoStack().size();
    model.removeModulationSource(Uuid::random());
    model.removeModulationRoute(Uuid::random());
    EXPECT_EQ(rack(model), before);
    EXPECT_EQ(model.undoStack().size(), steps + 2);

    model.removeModulationRoute(rack(model).routes[0].id);
    model.removeModulationSource(macro);
    ASSERT_TRUE(model.project().modulation); // an emptied rack stays
    EXPECT_EQ(rack(model), ModulationRack{});
}
