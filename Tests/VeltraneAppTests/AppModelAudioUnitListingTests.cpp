#include "ModelTestSupport.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace veltrane;
using namespace veltrane::testing;

// The installed plug-ins are listed in the background: the model comes up with empty lists, and the
// menus that watch them fill once the listing is done.
TEST(AppModelAudioUnitListing, TheListsArePublishedWhenTheListingIsDone)
{
    ModelHarness harness;
    bool loaded = false;
    int asked = 0;
    harness.componentsLoaded = [&] {
        ++asked;
        return loaded;
    };
    auto& model = harness.make();
    EXPECT_FALSE(model.audioUnitComponentsListed());
    EXPECT_TRUE(model.availableAudioUnitInstruments().empty());
    EXPECT_TRUE(model.availableAudioUnitEffects().empty());

    QSignalSpy instruments(&model, &AppModel::availableAudioUnitInstrumentsChanged);
    QSignalSpy effects(&model, &AppModel::availableAudioUnitEffectsChanged);
    harness.scheduler->advance(std::chrono::milliseconds(500));
    EXPECT_GT(asked, 2) << "the model keeps asking while the listing runs";
    EXPECT_EQ(instruments.count(), 0);

    loaded = true;
    harness.scheduler->advance(std::chrono::milliseconds(500));
    EXPECT_TRUE(model.audioUnitComponentsListed());
    EXPECT_EQ(model.availableAudioUnitInstruments(), (std::vector<AudioUnitReference>{harness.installed[0]}));
    // Effects, then the plug-ins with a MIDI input.
    EXPECT_EQ(model.availableAudioUnitEffects(),
              (std::vector<AudioUnitReference>{harness.installed[1], harness.installed[2]}));
    EXPECT_EQ(instruments.count(), 1);
    EXPECT_EQ(effects.count(), 1);

    const int askedWhenDone = asked;
    harness.scheduler->advance(std::chrono::seconds(5));
    EXPECT_EQ(asked, askedWhenDone) << "no asking once the lists are there";
}

// A project opened before the listing is done counts none of its plug-ins as missing until it is;
// then the ones that are not installed are reported, once.
TEST(AppModelAudioUnitListing, MissingPlugInsOfAProjectOpenedEarlyAreReportedWhenTheListIsThere)
{
    ModelHarness harness;
    bool loaded = false;
    harness.componentsLoaded = [&] { return loaded; };
    auto& model = harness.make();

    Project project;
    project.instruments.push_back(Instrument::withAudioUnit("Zeta", testUnit(0x61756d75, 77, "Zeta"), std::nullopt));
    project.instruments.push_back(Instrument::withAudioUnit("JX10", harness.installed[0], std::nullopt));
    const auto path = harness.folder / "Early.veltrane";
    writeFile(path, encodeProject(project));
    ASSERT_TRUE(model.loadProject(path));
    EXPECT_FALSE(model.error());
    EXPECT_TRUE(model.unavailableAudioUnitIDs().empty());

    loaded = true;
    harness.scheduler->advance(std::chrono::milliseconds(100));
    EXPECT_EQ(model.error(), "Unavailable Audio Units will be skipped: Zeta.");
    EXPECT_EQ(model.unavailableAudioUnitIDs(), (std::set<std::string>{testUnit(0x61756d75, 77, "").id()}));

    // A later refresh without a report stays quiet.
    model.setError(std::nullopt);
    model.refreshUnavailableAudioUnits(false);
    EXPECT_FALSE(model.error());
}

// A model closed while the listing still runs leaves no task behind that would reach it.
TEST(AppModelAudioUnitListing, AModelClosedDuringTheListingCancelsItsCheck)
{
    ModelHarness harness;
    int asked = 0;
    harness.componentsLoaded = [&] {
        ++asked;
        return false;
    };
    harness.make();
    harness.scheduler->advance(std::chrono::milliseconds(200));
    ASSERT_GT(asked, 1);
    harness.model.reset();
    const int askedWhenClosed = asked;
    harness.scheduler->advance(std::chrono::seconds(1));
    EXPECT_EQ(asked, askedWhenClosed);
}
