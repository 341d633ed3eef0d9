#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <algorithm>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::string text(LilvNode* node)
{
    std::string result = node && lilv_node_as_string(node) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return result;
}

/// What lilv itself says of every plug-in on `path` after reading each one's whole description: its
/// name and its author.
std::vector<PluginDescription> namesAsLilvReadsThem(const std::string& path)
{
    LilvWorld* world = lilv_world_new();
    LilvNode* no = lilv_new_bool(world, false);
    lilv_world_set_option(world, LILV_OPTION_DYN_MANIFEST, no);
    LilvNode* lv2Path = lilv_new_string(world, path.c_str());
    lilv_world_set_option(world, LILV_OPTION_LV2_PATH, lv2Path);
    lilv_world_load_all(world);
    std::vector<PluginDescription> result;
    const LilvPlugins* all = lilv_world_get_all_plugins(world);
    LILV_FOREACH (plugins, it, all) {
        const LilvPlugin* plugin = lilv_plugins_get(all, it);
        PluginDescription description;
        description.uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
        description.name = text(lilv_plugin_get_name(plugin));
        description.author = text(lilv_plugin_get_author_name(plugin));
        result.push_back(description);
    }
    lilv_node_free(no);
    lilv_node_free(lv2Path);
    lilv_world_free(world);
    return result;
}

} // namespace

TEST(PluginHostListing, NamesEveryPluginAndItsAuthorAsLilvDoesAfterReadingEverything)
{
    // mda names its author through its project in the manifest, synthv1 and swh on the plug-in itself.
    VELTRANE_REQUIRE_MDA();
    const std::string path = VELTRANE_TEST_LV2_PATH;
    const PluginHost host(path);
    const std::vector<PluginDescription> expected = namesAsLilvReadsThem(path);
    std::size_t compared = 0;
    for (const PluginDescription& lilv : expected) {
        const PluginDescription* listed = host.find(lilv.uri);
        if (!listed)
            continue;
        ++compared;
        EXPECT_EQ(listed->name, lilv.name) << lilv.uri;
        EXPECT_EQ(listed->author, lilv.author) << lilv.uri;
    }
    EXPECT_EQ(compared, host.plugins().size()) << "every listed plug-in is one lilv knows";
    EXPECT_GT(compared, 2u);
    if (const PluginDescription* synthv1 = host.find("http://synthv1.sourceforge.net/lv2")) {
        EXPECT_EQ(*synthv1, (PluginDescription{"http://synthv1.sourceforge.net/lv2", "synthv1", "rncbc aka. Rui Nuno Capela",
                                               "synthv1.sourceforge.net", PluginKind::instrument}));
    }
    if (const PluginDescription* sc3 = host.find("http://plugin.org.uk/swh-plugins/sc3")) {
        EXPECT_EQ(*sc3, (PluginDescription{"http://plugin.org.uk/swh-plugins/sc3", "SC3", "Steve Harris", "plugin.org.uk",
                                           PluginKind::effect}));
    }
}

TEST(PluginHostListing, ReadsOnlyTheDescriptionsItNeedsAndSkipsBrokenOnes)
{
    // A relative binary and prefixes of the file's own, a plug-in whose ports live in a second file, a
    // plug-in without a name, and one whose description file is not Turtle.
    TemporaryBundle bundle(std::string(turtlePrefixes())
                           + "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                             "<urn:test:split> a lv2:Plugin ; lv2:binary <split.so> ; rdfs:seeAlso <split.ttl> .\n"
                             "<urn:test:nameless> a lv2:Plugin ; lv2:binary <x.so> ; rdfs:seeAlso <nameless.ttl> .\n"
                             "<urn:test:broken> a lv2:Plugin ; lv2:binary <x.so> ; rdfs:seeAlso <broken.ttl> .\n");
    const auto write = [&](const char* name, const std::string& turtle) {
        std::ofstream(std::filesystem::path(bundle.path()) / "test.lv2" / name) << turtle;
    };
    write("split.ttl", "@prefix l: <http://lv2plug.in/ns/lv2core#> .\n@prefix d: <http://usefulinc.com/ns/doap#> .\n"
                       "@prefix f: <http://xmlns.com/foaf/0.1/> .\n"
                       "<urn:test:split> a l:Plugin , l:InstrumentPlugin ; d:name \"Split\"@de , \"Split\" ;\n"
                       "  d:maintainer [ f:name \"Someone\" ] ;\n"
                       "  l:port [ a l:AudioPort , l:OutputPort ; l:index 0 ; l:symbol \"out\" ; l:name \"Out\" ] .\n");
    write("nameless.ttl", std::string(turtlePrefixes())
                              + "<urn:test:nameless> a lv2:Plugin ;\n"
                                "  lv2:port [ a lv2:AudioPort , lv2:OutputPort ; lv2:index 0 ; lv2:symbol \"o\" ] .\n");
    write("broken.ttl", std::string(turtlePrefixes()) + "<urn:test:broken> a lv2:Plugin ; doap:name \"Broken\" ;;; [\n");
    const PluginHost host(bundle.path());
    ASSERT_EQ(host.plugins().size(), 1u);
    EXPECT_EQ(host.plugins()[0], (PluginDescription{"urn:test:split", "Split", "Someone", "", PluginKind::instrument}));
}
