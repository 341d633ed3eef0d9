#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"
#include "VeltranePlayback/SmokeProjects/RenderSmokeProjects.hpp"
#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// A project's export graph and bus update, without rendering.
struct Buses {
    explicit Buses(Project p)
        : project(std::move(p)), list(OfflineNoteRendering::events(project)),
          mixdown(project, list.timeline, std::nullopt, units), automation(project, list.timeline, mixdown.stripCount(), BusAutomation::Options::exportRender())
    {
    }
    Project project;
    RenderEventList list;
    RecordingUnits units;
    OfflineMixdownGraph mixdown;
    BusAutomation automation;
};

Cell locks(std::vector<ParameterLock> locks) { return Cell{.locks = std::move(locks)}; }

} // namespace

TEST(OfflineRenderBusAutomation, TheAutomationRenderFollowsItsVolumeLane)
{
    TemporaryFolder folder;
    const Project project = automationSmokeProject();
    const RenderedFile file = renderAndRead(project, folder);
    // The lane runs from 0.05 at frame 0 up to 1.0 at the start of row 15 and holds there.
    const std::int64_t top = OfflineNoteRendering::events(project).timeline.rows[15].startFrame;
    const auto lane = [&](std::int64_t frame) { return frame >= top ? 1.0 : 0.05 + 0.95 * double(frame) / double(top); };
    // One held sine, so the level follows the lane: level / lane is the same everywhere.
    const auto level = [&](std::int64_t frame) { return file.rms(frame - 2048, frame + 2048) / lane(frame); };
    const double reference = level(top + 3000);
    for (const std::int64_t frame : {8000, 20000, 40000, 60000, 76000}) {
        EXPECT_NEAR(level(frame) / reference, 1.0, 0.03) << "at frame " << frame;
    }
    EXPECT_LT(file.rms(2000, 6000), file.rms(top, top + 4000) / 8) << "the note starts quiet";
}

TEST(OfflineRenderBusAutomation, MovedParametersStartNeutralAndTheUpdateWritesTheirValues)
{
    Project project = smallSong(8, 2);
    project.masterFX->bitDepth = 8; // stored, but the lane overrides it from the first block
    project.mixer[1].muted = true;
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 0, locks({{ParameterTarget::masterBitDepth, 16}, {ParameterTarget::trackVolume, 0.3}}));
    pattern.setCell(0, 1, locks({{ParameterTarget::trackVolume, 0.9}}));
    pattern.setCell(4, 0, locks({{ParameterTarget::masterBitDepth, 8}}));
    Buses buses(project);
    auto& crusher = *buses.mixdown.master().crusher;
    auto& strips = buses.mixdown.strips();

    // Set up from the stored depth of 8, but dry because a lane moves it.
    EXPECT_EQ(crusher.wetDryMix(), 0.0f);
    EXPECT_NEAR(crusher.rounding(), 66.67, 0.01);
    EXPECT_NEAR(crusher.decimationMix(), 17.5, 1e-4);
    EXPECT_EQ(strips[0].mixer->outputVolume(), 1.0f);

    buses.automation.update(buses.mixdown, 0); // the lane says 16 bits
    EXPECT_EQ(crusher.wetDryMix(), 0.0f);
    EXPECT_EQ(crusher.rounding(), 0.0f);
    EXPECT_EQ(crusher.decimationMix(), 0.0f);
    EXPECT_FLOAT_EQ(strips[0].mixer->outputVolume(), 0.3f);
    EXPECT_EQ(strips[1].mixer->outputVolume(), 0.0f) << "a muted strip stays silent under its lane";

    buses.automation.update(buses.mixdown, 22050); // row 4: 8 bits
    EXPECT_EQ(crusher.wetDryMix(), 100.0f);
    EXPECT_NEAR(crusher.rounding(), 66.67, 0.01);
    EXPECT_NEAR(crusher.decimationMix(), 17.5, 1e-4);
    EXPECT_EQ(strips[1].mixer->outputVolume(), 0.0f);
}

TEST(OfflineRenderBusAutomation, RefreshesOnlyMovedParametersInTrackThenMasterOrder)
{
    Project project = smallSong(4, 3);
    project.mixer[1].pan = -0.5;
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 2, locks({{ParameterTarget::masterReverb, 0.4}, {ParameterTarget::trackVolume, 0.2}}));
    pattern.setCell(1, 1, locks({{ParameterTarget::trackPan, 0.5}, {ParameterTarget::masterVolume, 0.5}}));
    ModulationSource lfo{.kind = ModulationSourceKind::lfo};
    project.modulation->routes.push_back(
        ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::trackDrive, .amount = 0.2, .track = 1});
    project.modulation->routes.push_back(
        ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::masterDelayTime, .amount = 0.1});
    project.modulation->sources.push_back(lfo);

    using R = BusAutomation::Refresh;
    const std::vector<R> expected{
        {ParameterTarget::trackPan, 1, -0.5},       {ParameterTarget::trackDrive, 1, 0},
        {ParameterTarget::trackVolume, 2, 0.85},    {ParameterTarget::masterVolume, std::nullopt, 0.8},
        {ParameterTarget::masterDelayTime, std::nullopt, 0.25}, {ParameterTarget::masterReverb, std::nullopt, 0},
    };
    EXPECT_EQ(Buses(project).automation.refreshes(), expected);
    EXPECT_TRUE(Buses(smallSong(4, 3)).automation.refreshes().empty());
}

TEST(OfflineRenderBusAutomation, AfterTheSongEndsALaneHoldsItsLastValue)
{
    Buses buses(automationSmokeProject());
    const std::int64_t end = buses.list.timeline.totalFrames;
    for (const std::int64_t frame : {end - 1, end, end + 44100}) {
        EXPECT_DOUBLE_EQ(buses.automation.value(ParameterTarget::trackVolume, 0.85, frame, 0), 1.0) << frame;
    }
}

TEST(OfflineRenderBusAutomation, EnvelopesOnABusFollowTheLastNoteStartedOnItsTrack)
{
    Project project = smallSong(8, 3);
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 1, note(60, 0, 2.0));
    pattern.setCell(4, 1, note(62, 0, 3.0)); // frame 22050, 3 rows
    pattern.setCell(6, 2, note(64, 0));      // frame 33075
    Buses buses(project);
    using T = BusAutomation::NoteTiming;
    const auto& notes = buses.list.timeline.notes; // by start: track 1's two notes, then track 2's
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(buses.automation.envelopeContext(1, 30000), (T{22050, notes[1].durationFrames}));
    EXPECT_EQ(buses.automation.envelopeContext(1, 22049), (T{0, notes[0].durationFrames}));
    EXPECT_EQ(buses.automation.envelopeContext(2, 30000), (T{30000, 1})) << "before the track's first note";
    EXPECT_EQ(buses.automation.envelopeContext(0, 30000), (T{30000, 1})) << "a track without notes";
    EXPECT_EQ(buses.automation.envelopeContext(std::nullopt, 40000).start, 33075) << "the master: any track";
}

TEST(OfflineRenderBusAutomation, OnlyEnvelopeRoutesForTheBusCountAsEnvelopeTimed)
{
    Project project = smallSong(4, 4);
    ModulationSource envelope{.kind = ModulationSourceKind::envelope};
    ModulationSource lfo{.kind = ModulationSourceKind::lfo};
    const auto route = [&](const ModulationSource& source, ParameterTarget target, std::optional<int> track,
                           std::optional<int> instrument = std::nullopt) {
        project.modulation->routes.push_back(ModulationRoute{
            .sourceID = source.id, .target = target, .amount = 0.3, .track = track, .instrument = instrument});
    };
    route(envelope, ParameterTarget::trackVolume, 3);
    route(envelope, ParameterTarget::trackPan, std::nullopt);
    route(envelope, ParameterTarget::masterVolume, 2);
    route(envelope, ParameterTarget::trackDrive, std::nullopt, 0);
    route(lfo, ParameterTarget::trackCutoff, std::nullopt);
    project.modulation->sources = {envelope, lfo};
    Buses buses(project);

    const struct {
        ParameterTarget target;
        std::optional<int> track;
        bool expected;
    } cases[] = {
        {ParameterTarget::trackVolume, 3, true},
        {ParameterTarget::trackVolume, 2, false},          // limited to another track
        {ParameterTarget::trackPan, 1, true},              // a route for every track
        {ParameterTarget::masterVolume, std::nullopt, false}, // the master ignores routes limited to a track
        {ParameterTarget::trackDrive, 0, false},           // a route limited to an instrument
        {ParameterTarget::trackCutoff, 0, false},          // not an envelope
    };
    for (const auto& c : cases) {
        EXPECT_EQ(buses.automation.usesEnvelope(c.target, c.track), c.expected)
            << label(c.target) << " track " << c.track.value_or(-1);
    }
}
