#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"
#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

TEST(OfflineRenderWorkerPlugin, AnInstrumentThatNeedsTheWorkerSoundsAndExportsTheSameBytesTwice)
{
    const PluginDescription* synthv1 = AudioUnitCatalog::installedPlugins().find("http://synthv1.sourceforge.net/lv2");
    if (!synthv1) GTEST_SKIP() << "synthv1 (synthv1-lv2, a plug-in that needs the LV2 worker) is not installed";

    Project project = smallSong(8, 1);
    project.instruments.push_back(Instrument::withAudioUnit("Worker", AudioUnitCatalog::reference(*synthv1), std::nullopt));
    project.patterns.front().setCell(0, 0, note(60, 4));
    project.patterns.front().setCell(4, 0, note(67, 4));

    TemporaryFolder folder;
    const RenderedFile first = renderAndRead(project, folder, std::nullopt, installedOfflineUnits(), "first.wav");
    const RenderedFile second = renderAndRead(project, folder, std::nullopt, installedOfflineUnits(), "second.wav");
    // Row 0 starts at frame 0, row 4 at 22,050: both notes are heard.
    EXPECT_GT(first.rms(0, 11025), 0.001);
    EXPECT_GT(first.rms(22050, 33075), 0.001);
    EXPECT_EQ(fileBytes(folder / "first.wav"), fileBytes(folder / "second.wav"));
    EXPECT_TRUE(first.sameSamples(second));
}
