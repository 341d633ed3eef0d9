#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginAudioPorts.hpp"
#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using Role = detail::AudioPortRole;
using Channel = detail::AudioPortRole::Channel;

constexpr const char* sc2Uri = "http://plugin.org.uk/swh-plugins/sc2";
constexpr const char* sc3Uri = "http://plugin.org.uk/swh-plugins/sc3";

/// Root mean square of one channel over [begin, end).
float rms(const std::vector<float>& samples, int begin, int end)
{
    double sum = 0.0;
    for (int f = begin; f < end; ++f)
        sum += double(samples[std::size_t(f)]) * samples[std::size_t(f)];
    return float(std::sqrt(sum / double(end - begin)));
}

} // namespace

TEST(PluginAudioPorts, TheMainPairComesFromTheMainGroupAndItsChannelsNeverFromASideChain)
{
    const Role sideChain{.channel = Channel::center, .sideChain = true};
    const struct {
        const char* what;
        std::vector<Role> ports;
        std::string mainGroup;
        std::vector<std::size_t> expected;
    } cases[] = {
        {"plain stereo, port order", {{}, {}}, "", {0, 1}},
        {"a mono port", {{}}, "", {0}},
        {"no audio", {}, "", {}},
        {"a side chain before the mono input", {sideChain, {}}, "", {1}},
        {"a mono input before its side chain", {{}, sideChain}, "", {0}},
        {"a side chain before a stereo pair", {sideChain, {}, {}}, "", {1, 2}},
        {"only a side chain", {sideChain}, "", {}},
        {"right declared before left", {{"main", Channel::right}, {"main", Channel::left}}, "main", {1, 0}},
        {"the main group after another stereo group",
         {{"aux", Channel::left}, {"aux", Channel::right}, {"main", Channel::left}, {"main", Channel::right}},
         "main",
         {2, 3}},
        {"a mono main group among stereo ones",
         {{"aux", Channel::left}, {"aux", Channel::right}, {"main", Channel::center}}, "main", {2}},
        {"a main group without channel names: its ports in order",
         {{"aux"}, {"main"}, {"aux"}, {"main"}}, "main", {1, 3}},
        {"channel names without a main group", {{"a", Channel::right}, {"a", Channel::left}}, "", {1, 0}},
        {"a main group that names no port", {{}, {}}, "missing", {0, 1}},
        {"bands without a main group: the first band", {{"low", Channel::left}, {"low", Channel::right},
                                                         {"high", Channel::left}, {"high", Channel::right}},
         "", {0, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detail::mainAudioPorts(c.ports, c.mainGroup), c.expected) << c.what;
}

TEST(PluginHostAudioPorts, ASineOnEitherChannelComesThroughTheSideChainCompressors)
{
    const PluginHost& host = installedPlugins();
    if (!host.find(sc2Uri) || !host.find(sc3Uri))
        GTEST_SKIP() << "the swh side-chain compressors SC2 and SC3 (swh-lv2) are not installed";

    constexpr int frames = 8192;
    const struct {
        const char* uri;
        int channel;
        // SC2 is mono: it hears half of each channel and plays to both; SC3 keeps the sides apart.
        float expectedLeft, expectedRight;
    } cases[] = {
        {sc2Uri, 0, 0.5f, 0.5f}, {sc2Uri, 1, 0.5f, 0.5f}, {sc3Uri, 0, 1.0f, 0.0f}, {sc3Uri, 1, 0.0f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.uri) + (c.channel == 0 ? " left" : " right"));
        auto compressor = host.instantiate(c.uri, 44100.0, 256);
        // Neither compressor shows its side chain as something to set.
        for (const PluginParameter& parameter : compressor->parameters())
            EXPECT_EQ(parameter.symbol.find("sidechain"), std::string::npos);
        StereoBuffer in(frames), out(frames);
        std::vector<float>& sine = c.channel == 0 ? in.left : in.right;
        for (int f = 0; f < frames; ++f)
            sine[std::size_t(f)] = 0.5f * float(std::sin(2.0 * std::numbers::pi * 440.0 * f / 44100.0));
        process(*compressor, in, out);
        // At its defaults (ratio 1:1, no make-up gain) the compressor passes the signal unchanged.
        const float inputLevel = rms(sine, frames / 2, frames);
        EXPECT_NEAR(rms(out.left, frames / 2, frames), c.expectedLeft * inputLevel, 0.02f);
        EXPECT_NEAR(rms(out.right, frames / 2, frames), c.expectedRight * inputLevel, 0.02f);
    }
}
