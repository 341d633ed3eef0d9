#include "PluginHostTestSupport.hpp"

#include "VeltranePlatform/Plugins/PluginHost.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

constexpr double sampleRate = 44100.0;

// Frames from the click to the left channel's first echo, found in the output itself.
int firstEchoFrame(const StereoBuffer& out)
{
    for (int f = 1; f < out.frames(); ++f)
        if (out.left[std::size_t(f)] != 0.0f)
            return f;
    return -1;
}

StereoBuffer click(int frames)
{
    StereoBuffer in(frames);
    in.left[0] = in.right[0] = 1.0f;
    return in;
}

StereoBuffer noise(int frames, unsigned seed)
{
    StereoBuffer buffer(frames);
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (int f = 0; f < frames; ++f) {
        buffer.left[std::size_t(f)] = sample(generator);
        buffer.right[std::size_t(f)] = sample(generator);
    }
    return buffer;
}

} // namespace

TEST(PluginHostInstrument, SoundsFromTheNoteOnFrameAndFadesAfterTheNoteOff)
{
    VELTRANE_REQUIRE_MDA();
    auto jx10 = installedPlugins().instantiate(jx10Uri, sampleRate, 512);
    EXPECT_TRUE(jx10->acceptsMidi());
    StereoBuffer out(512);

    const PluginMidiEvent on[] = {noteOn(100, 60)};
    jx10->process(nullptr, out.channels(), 512, on);
    EXPECT_EQ(peak(out, 0, 100), 0.0f) << "nothing may sound before the note starts";
    EXPECT_GT(peak(out, 100, 512), 0.01f);

    // A second voice keeps its note: the released one must fade well below it.
    auto held = installedPlugins().instantiate(jx10Uri, sampleRate, 512);
    StereoBuffer heldOut(512);
    held->process(nullptr, heldOut.channels(), 512, on);
    const PluginMidiEvent off[] = {noteOff(0, 60)};
    jx10->process(nullptr, out.channels(), 512, off);
    held->process(nullptr, heldOut.channels(), 512, {});
    for (int block = 0; block < 100; ++block) {  // 1.2 seconds
        jx10->process(nullptr, out.channels(), 512, {});
        held->process(nullptr, heldOut.channels(), 512, {});
    }
    EXPECT_GT(peak(heldOut, 0, 512), 0.1f);
    EXPECT_LT(peak(out, 0, 512), 0.4f * peak(heldOut, 0, 512)) << "the note-off reached the plug-in";
}

TEST(PluginHostInstrument, DeliversEventsInFrameOrderWhateverOrderTheyCameIn)
{
    VELTRANE_REQUIRE_MDA();
    // Passed on as given, the note-off at frame 300 would come before the note it ends and the note
    // would hang.
    auto sorted = installedPlugins().instantiate(jx10Uri, sampleRate, 512);
    auto shuffled = installedPlugins().instantiate(jx10Uri, sampleRate, 512);
    for (PluginInstance* jx10 : {sorted.get(), shuffled.get()})
        jx10->setParameterValue(*jx10->parameterIndex("env_rel"), 0.0f);  // the shortest release
    StereoBuffer expected(512), actual(512);
    const PluginMidiEvent inOrder[] = {noteOn(100, 60), noteOff(300, 60)};
    const PluginMidiEvent outOfOrder[] = {noteOff(300, 60), noteOn(100, 60)};
    sorted->process(nullptr, expected.channels(), 512, inOrder);
    shuffled->process(nullptr, actual.channels(), 512, outOfOrder);
    EXPECT_EQ(peak(actual, 0, 100), 0.0f);
    EXPECT_GT(peak(actual, 100, 300), 0.01f);
    EXPECT_LT(peak(actual, 450, 512), 0.1f * peak(actual, 100, 300)) << "the note was released";
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.right, expected.right);
}

TEST(PluginHostInstrument, SplitsABlockLongerThanTheMaximumAndKeepsEventsOnTheirFrames)
{
    VELTRANE_REQUIRE_MDA();
    // The same music through a plug-in that takes 64 frames at a time and one that takes it all at once.
    auto small = installedPlugins().instantiate(jx10Uri, sampleRate, 64);
    auto large = installedPlugins().instantiate(jx10Uri, sampleRate, 2048);
    StereoBuffer split(2048), whole(2048);
    // Out of range offsets land on the block's edges rather than being lost.
    const PluginMidiEvent events[] = {noteOn(1000, 64), noteOn(-5, 40), noteOff(1500, 64), noteOff(9999, 40)};
    small->process(nullptr, split.channels(), 2048, events);
    large->process(nullptr, whole.channels(), 2048, events);
    EXPECT_GT(peak(split, 0, 64), 0.0f) << "a negative offset plays at the first frame";
    EXPECT_GT(peak(split, 1000, 1064), peak(whole, 900, 1000)) << "the second note starts at frame 1000";
    EXPECT_EQ(split.left, whole.left);
    EXPECT_EQ(split.right, whole.right);
}

TEST(PluginHostEffect, PassesAClickAndEchoesItLater)
{
    VELTRANE_REQUIRE_MDA();
    auto delay = installedPlugins().instantiate(delayUri, sampleRate, 256);
    EXPECT_FALSE(delay->acceptsMidi());
    StereoBuffer in = click(44100), out(44100);
    process(*delay, in, out);  // one second, run in slices of 256 frames

    EXPECT_GT(out.left[0], 0.1f);
    EXPECT_GT(out.right[0], 0.1f);
    const int echo = firstEchoFrame(out);
    ASSERT_GT(echo, 2205) << "the echo comes after at least 50 ms of silence";
    EXPECT_EQ(peak(out, 1, echo), 0.0f);
    EXPECT_GT(std::fabs(out.left[std::size_t(echo)]), 0.1f);
}

TEST(PluginHostEffect, BypassPassesInputThroughBitForBitAndSilencesAnInstrument)
{
    VELTRANE_REQUIRE_MDA();
    auto delay = installedPlugins().instantiate(delayUri, sampleRate, 128);
    delay->setBypassed(true);
    EXPECT_TRUE(delay->isBypassed());
    const StereoBuffer in = noise(1000, 7);
    StereoBuffer copy = in, out(1000);
    process(*delay, copy, out);
    EXPECT_EQ(out.left, in.left);
    EXPECT_EQ(out.right, in.right);
    process(*delay, copy, copy);  // in place
    EXPECT_EQ(copy.left, in.left);

    delay->setBypassed(false);
    process(*delay, copy, out);
    EXPECT_NE(out.left, in.left) << "the effect runs again";

    auto jx10 = installedPlugins().instantiate(jx10Uri, sampleRate, 512);
    jx10->setBypassed(true);
    StereoBuffer sounding = noise(512, 3);
    const PluginMidiEvent on[] = {noteOn(0, 60)};
    jx10->process(sounding.channels(), sounding.channels(), 512, on);
    EXPECT_EQ(peak(sounding, 0, 512), 0.0f);
}

TEST(PluginHostEffect, FeedsAMonoPluginTheAverageAndPlaysItsOutputOnBothChannels)
{
    VELTRANE_REQUIRE_MDA();
    if (!std::filesystem::exists("/usr/lib/lv2/mda.lv2/Delay.so"))
        GTEST_SKIP() << "mda Delay's library is not at /usr/lib/lv2/mda.lv2/Delay.so";
    // mda Delay described with only its left input and output as audio ports: the right input reads a
    // constant zero and the right output is ignored, so to the host it is a mono effect.
    const std::string manifest = std::string(turtlePrefixes())
        + "<http://drobilla.net/plugins/mda/Delay> a lv2:Plugin ;\n"
          "  doap:name \"Mono Delay\" ;\n"
          "  lv2:binary <file:///usr/lib/lv2/mda.lv2/Delay.so> ;\n"
          "  lv2:port [ a lv2:ControlPort , lv2:InputPort ; lv2:index 0 ; lv2:symbol \"l_delay\" ; lv2:name \"L\" ;"
          " lv2:default 0.5 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:ControlPort , lv2:InputPort ; lv2:index 1 ; lv2:symbol \"r_delay\" ; lv2:name \"R\" ;"
          " lv2:default 0.27 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:ControlPort , lv2:InputPort ; lv2:index 2 ; lv2:symbol \"feedback\" ; lv2:name \"F\" ;"
          " lv2:default 0.7 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:ControlPort , lv2:InputPort ; lv2:index 3 ; lv2:symbol \"fb_tone\" ; lv2:name \"T\" ;"
          " lv2:default 0.5 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:ControlPort , lv2:InputPort ; lv2:index 4 ; lv2:symbol \"fx_mix\" ; lv2:name \"M\" ;"
          " lv2:default 0.33 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:ControlPort , lv2:InputPort ; lv2:index 5 ; lv2:symbol \"output\" ; lv2:name \"O\" ;"
          " lv2:default 0.5 ; lv2:minimum 0 ; lv2:maximum 1 ] ,\n"
          "   [ a lv2:AudioPort , lv2:InputPort ; lv2:index 6 ; lv2:symbol \"left_in\" ; lv2:name \"In\" ] ,\n"
          "   [ a lv2:CVPort , lv2:InputPort ; lv2:index 7 ; lv2:symbol \"right_in\" ; lv2:name \"Unused\" ] ,\n"
          "   [ a lv2:AudioPort , lv2:OutputPort ; lv2:index 8 ; lv2:symbol \"left_out\" ; lv2:name \"Out\" ] ,\n"
          "   [ a lv2:CVPort , lv2:OutputPort ; lv2:index 9 ; lv2:symbol \"right_out\" ; lv2:name \"Unused\" ] .\n";
    TemporaryBundle bundle(manifest);
    const PluginHost monoHost(bundle.path());
    auto mono = monoHost.instantiate(delayUri, sampleRate, 256);
    auto stereo = installedPlugins().instantiate(delayUri, sampleRate, 256);

    StereoBuffer in(8192 + 2000), fromMono(in.frames()), fromStereo(in.frames());
    in.left[0] = 1.0f;  // the click on the left only: the mono plug-in hears half of it
    StereoBuffer halfOnLeft(in.frames());
    halfOnLeft.left[0] = 0.5f;
    process(*mono, in, fromMono);
    process(*stereo, halfOnLeft, fromStereo);

    EXPECT_GT(std::fabs(fromMono.left[0]), 0.1f);
    EXPECT_EQ(fromMono.left, fromStereo.left);
    EXPECT_EQ(fromMono.right, fromMono.left);
}
