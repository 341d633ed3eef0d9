// The control inputs the host owns, followed through the live engine and the export: the tests' probe
// plug-in reports the free-wheeling and tempo values it ran with.

#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"
#include "AudioEngineTestSupport.hpp"
#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"
#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

#if defined(VELTRANE_LV2_PROBE_LIBRARY)

namespace {

std::optional<AudioUnitReference> probeReference()
{
    const PluginDescription* probe = AudioUnitCatalog::installedPlugins().find(probeUri);
    if (!probe) return std::nullopt;
    return AudioUnitCatalog::reference(*probe);
}

} // namespace

TEST(HostedPluginControls, LiveThePlugInRunsInRealTimeAtTheSongsTempo)
{
    const auto probe = probeReference();
    ASSERT_TRUE(probe);
    AudioEngine engine(manualEngine());
    Project project = transparentProject();
    project.bpm = 87;
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = *probe}};
    engine.apply(project);
    ASSERT_TRUE(engine.prepareAudioUnits(project, PlaybackTimeline{}).empty());
    renderEngine(engine, 4 * engineBlock);
    ProbeReport* report = probeReport();
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->freeWheeling, 0.0f);
    EXPECT_EQ(report->beatsPerMinute, 87.0f);

    // The next playback of a faster song.
    project.bpm = 140;
    engine.apply(project);
    ASSERT_TRUE(engine.prepareAudioUnits(project, PlaybackTimeline{}).empty());
    renderEngine(engine, 4 * engineBlock);
    EXPECT_EQ(report->beatsPerMinute, 140.0f);
}

TEST(HostedPluginControls, InTheExportThePlugInFreeWheelsAtTheSongsTempo)
{
    const auto probe = probeReference();
    ASSERT_TRUE(probe);
    Project project = smallSong(4, 1);
    project.bpm = 133;
    project.masterFX = MasterFX();
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = *probe}};
    const ProbeReport before = probeReport() ? *probeReport() : ProbeReport{};
    TemporaryFolder folder;
    renderAndRead(project, folder, std::nullopt, installedOfflineUnits());
    ProbeReport* report = probeReport();
    ASSERT_NE(report, nullptr);
    EXPECT_GT(report->runs, before.runs);
    EXPECT_EQ(report->freeWheeling, 1.0f);
    EXPECT_EQ(report->beatsPerMinute, 133.0f);
    // Its work was done inside each block of the render.
    EXPECT_EQ(report->responses - before.responses, report->runs - before.runs);
}

#endif
