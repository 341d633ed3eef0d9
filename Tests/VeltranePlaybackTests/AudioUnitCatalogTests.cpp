#include "../VeltranePlatformTests/PluginHostTestSupport.hpp"

#include "VeltranePlayback/Hosting/AudioUnitCatalog.hpp"
#include "VeltraneCore/Text/Fnv1a.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// A described plug-in over a binary that does not hold it: the host lists it (which is all the
// catalogue's ordering needs) but it can never start.
std::string listedEffect(const std::string& uri, const std::string& name, const std::string& author)
{
    return "<" + uri + "> a lv2:Plugin ;\n  doap:name \"" + name + "\" ;\n"
           + "  doap:maintainer [ <http://xmlns.com/foaf/0.1/name> \"" + author + "\" ] ;\n"
           + "  lv2:binary <file:///usr/lib/lv2/mda.lv2/Delay.so> ;\n"
           + "  lv2:port [ a lv2:AudioPort , lv2:InputPort ; lv2:index 0 ; lv2:symbol \"in\" ; lv2:name \"In\" ] ,\n"
           + "    [ a lv2:AudioPort , lv2:OutputPort ; lv2:index 1 ; lv2:symbol \"out\" ; lv2:name \"Out\" ] .\n";
}

const AudioUnitReference* named(const std::vector<AudioUnitReference>& list, const std::string& name)
{
    const auto found = std::find_if(list.begin(), list.end(), [&](const auto& r) { return r.name == name; });
    return found == list.end() ? nullptr : &*found;
}

} // namespace

TEST(AudioUnitCatalog, PacksFourCharacterCodesBigEndian)
{
    EXPECT_EQ(audioUnitInstrumentType, 0x61756D75u); // "aumu"
    EXPECT_EQ(audioUnitMusicEffectType, 0x61756D66u); // "aumf"
    EXPECT_EQ(audioUnitEffectType, 0x61756678u);      // "aufx"
}

TEST(AudioUnitCatalog, ListsTheMdaPlugInsByRoleWithTheirHashedCodesAndNames)
{
    VELTRANE_REQUIRE_MDA();
    const auto instruments = AudioUnitCatalog::components(audioUnitInstrumentType, installedPlugins());
    const auto effects = AudioUnitCatalog::components(audioUnitEffectType, installedPlugins());

    const AudioUnitReference* jx10 = named(instruments, "MDA JX10");
    ASSERT_NE(jx10, nullptr);
    EXPECT_EQ(*jx10, (AudioUnitReference{audioUnitInstrumentType, fnv1a32(jx10Uri), fnv1a32("drobilla.net"),
                                         "MDA JX10", "David Robillard"}));
    const AudioUnitReference* delay = named(effects, "MDA Delay");
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(*delay, (AudioUnitReference{audioUnitEffectType, fnv1a32(delayUri), fnv1a32("drobilla.net"),
                                          "MDA Delay", "David Robillard"}));
    EXPECT_EQ(named(effects, "MDA JX10"), nullptr) << "an instrument is not listed among the effects";
    for (const auto& reference : instruments) EXPECT_EQ(reference.componentType, audioUnitInstrumentType);
    EXPECT_TRUE(AudioUnitCatalog::components(fourCharCode("xxxx"), installedPlugins()).empty());
}

TEST(AudioUnitCatalog, SortsByManufacturerThenNameCaseFolded)
{
    TemporaryBundle bundle(std::string(turtlePrefixes()) + listedEffect("urn:test:1", "zeta", "Beta")
                           + listedEffect("urn:test:2", "Gamma", "alpha") + listedEffect("urn:test:3", "beta", "Alpha")
                           + listedEffect("urn:test:4", "Alpha", "Beta") + listedEffect("urn:test:5", "Omega", "Alpha"));
    const PluginHost host(bundle.path());

    std::vector<std::pair<std::string, std::string>> order;
    for (const auto& r : AudioUnitCatalog::components(audioUnitEffectType, host)) order.emplace_back(r.manufacturerName, r.name);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Alpha", "beta"}, {"Alpha", "Omega"}, {"alpha", "Gamma"}, {"Beta", "Alpha"}, {"Beta", "zeta"}};
    EXPECT_EQ(order, expected);
}

TEST(AudioUnitCatalog, InstantiatesByTheThreeCodesAndRestoresOnlyAReadableState)
{
    VELTRANE_REQUIRE_MDA();
    const PluginDescription* described = installedPlugins().find(delayUri);
    ASSERT_NE(described, nullptr);
    AudioUnitReference reference = AudioUnitCatalog::reference(*described);
    reference.name = "renamed in another version"; // names take no part in finding a unit

    auto unit = AudioUnitCatalog::instantiate(reference, std::nullopt, 44100, 256, installedPlugins());
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->description().uri, delayUri);
    const std::size_t parameter = 0;
    const float defaultValue = unit->parameterValue(parameter);
    const float changed = defaultValue > 0.5f ? 0.1f : 0.9f;
    unit->setParameterValue(parameter, changed);
    const std::optional<Data> state = AudioUnitCatalog::stateData(*unit);
    ASSERT_TRUE(state.has_value());

    auto restored = AudioUnitCatalog::instantiate(reference, state, 44100, 256, installedPlugins());
    EXPECT_FLOAT_EQ(restored->parameterValue(parameter), changed);
    EXPECT_EQ(AudioUnitCatalog::stateData(*restored), state);

    for (const Data& unreadable : {Data(std::string_view("not turtle at all")), Data()}) {
        auto fresh = AudioUnitCatalog::instantiate(reference, unreadable, 44100, 256, installedPlugins());
        EXPECT_FLOAT_EQ(fresh->parameterValue(parameter), defaultValue);
    }
}

TEST(AudioUnitCatalog, AReferenceNoInstalledPlugInHasThrowsWithItsName)
{
    VELTRANE_REQUIRE_MDA();
    AudioUnitReference reference = AudioUnitCatalog::reference(*installedPlugins().find(delayUri));
    const AudioUnitReference cases[] = {
        {audioUnitEffectType, 0x64656C79u, 0x6170706Cu, "AUDelay", "Apple"},
        // The right plug-in under the wrong role is not that plug-in.
        {audioUnitInstrumentType, reference.componentSubType, reference.componentManufacturer, "MDA Delay", ""},
    };
    for (const auto& missing : cases) {
        try {
            AudioUnitCatalog::instantiate(missing, std::nullopt, 44100, 256, installedPlugins());
            ADD_FAILURE() << missing.name << " was instantiated";
        } catch (const PluginError& error) {
            EXPECT_EQ(error.which(), PluginError::Case::notFound);
            EXPECT_NE(std::string(error.what()).find("\u201C" + missing.name + "\u201D"), std::string::npos);
        }
    }
}

TEST(AudioUnitCatalog, ListsTheInstalledPluginsOnceInTheBackground)
{
    VELTRANE_REQUIRE_MDA();
    AudioUnitCatalog::loadInstalledPluginsInBackground();
    AudioUnitCatalog::loadInstalledPluginsInBackground();
    const PluginHost& host = AudioUnitCatalog::installedPlugins();
    EXPECT_TRUE(AudioUnitCatalog::installedPluginsLoaded());
    EXPECT_EQ(&AudioUnitCatalog::installedPlugins(), &host);
    EXPECT_NE(host.find(jx10Uri), nullptr);
}
