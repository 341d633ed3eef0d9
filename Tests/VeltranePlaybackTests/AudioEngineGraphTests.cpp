#include "AudioEngineTestSupport.hpp"

#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"
#include "VeltranePlayback/Mixdown/MixerSettings.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace veltrane {
namespace {

using testing::manualEngine;

TEST(AudioEngineMixerSettings, CrusherFollowsTheBitDepth)
{
    struct Case {
        double bits;
        float wet;
        float rounding;
        float decimation;
    };
    const Case cases[] = {
        {16, 0, 0, 0},
        {15.9, 0, 0.8333f, 0},
        {12, 100, 33.333f, 0},
        {8, 100, 66.667f, 17.5f},
        {4, 100, 100, 35},
    };
    for (const auto& c : cases) {
        const CrusherSettings settings = crusherSettings(c.bits);
        EXPECT_EQ(settings.wetDryMix, c.wet) << c.bits;
        EXPECT_NEAR(settings.rounding, c.rounding, 1e-3) << c.bits;
        EXPECT_NEAR(settings.decimationMix, c.decimation, 1e-4) << c.bits;
    }
}

TEST(AudioEngineMixerSettings, MasterResonanceIsHeldToTheFilterRangeButTrackResonanceIsNot)
{
    EXPECT_EQ(masterFilterBandwidth(0.01), 0.05f);
    EXPECT_EQ(masterFilterBandwidth(7), 5.0f);
    EXPECT_EQ(masterFilterBandwidth(1.5), 1.5f);
    EXPECT_EQ(stripSettings(MixerTrack{.resonance = 0.01}, false).bandwidth, 0.01f);
}

TEST(AudioEngineMixerSettings, MuteWinsOverSoloAndSoloSilencesTheOthers)
{
    const MixerTrack plain{.volume = 0.5};
    const MixerTrack soloed{.volume = 0.5, .solo = true};
    const MixerTrack soloedAndMuted{.volume = 0.5, .muted = true, .solo = true};
    EXPECT_EQ(stripSettings(plain, false).volume, 0.5f);
    EXPECT_EQ(stripSettings(plain, true).volume, 0.0f);
    EXPECT_EQ(stripSettings(soloed, true).volume, 0.5f);
    EXPECT_EQ(stripSettings(soloedAndMuted, true).volume, 0.0f);
}

TEST(AudioEngineGraph, WiresTheMasterChainAndNoStripUntilOneIsUsed)
{
    AudioEngine engine(manualEngine());
    AudioGraph& graph = testing::probe(engine).graph();
    std::vector<const AudioNode*> chain;
    for (const AudioNode* node = testing::probe(engine).master().bus.get(); node != nullptr; node = graph.destination(*node)) chain.push_back(node);
    const std::vector<const AudioNode*> expected{testing::probe(engine).master().bus.get(), testing::probe(engine).master().filter.get(), testing::probe(engine).master().drive.get(),
                                                 testing::probe(engine).master().crusher.get(), testing::probe(engine).master().delay.get(), testing::probe(engine).master().reverb.get(),
                                                 testing::probe(engine).master().timePitch.get(), testing::probe(engine).master().limiter.get(), &graph.mainMixer()};
    EXPECT_EQ(chain, expected);
    EXPECT_EQ(graph.inputs((*testing::probe(engine).master().bus)), (std::vector<AudioNode*>{testing::probe(engine).master().clockPlayer.get(), testing::probe(engine).master().metronomePlayer.get()}));
    EXPECT_EQ((*testing::probe(engine).master().clockPlayer).volume(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().limiter).attackTime(), 0.001f);
    EXPECT_EQ((*testing::probe(engine).master().limiter).decayTime(), 0.08f);
    for (int i = 0; i < AudioEngine::trackCount; ++i) {
        EXPECT_FALSE(testing::probe(engine).strip(i).connected);
        EXPECT_EQ(testing::probe(engine).strip(i).mixer->graph(), nullptr);
    }
}

TEST(AudioEngineGraph, ConnectsAStripOnceAndIgnoresIndicesOutsideTheStrips)
{
    AudioEngine engine(manualEngine());
    testing::probe(engine).mixdown().connectStrip(3);
    testing::probe(engine).mixdown().connectStrip(3);
    testing::probe(engine).mixdown().connectStrip(32);
    testing::probe(engine).mixdown().connectStrip(-1);
    const auto& strip = testing::probe(engine).strip(3);
    ASSERT_TRUE(strip.connected);
    EXPECT_EQ(testing::probe(engine).graph().inputs((*testing::probe(engine).master().bus)).size(), 3u);
    EXPECT_EQ(testing::probe(engine).graph().destination(*strip.drive), testing::probe(engine).master().bus.get());
    EXPECT_EQ(testing::probe(engine).graph().destination(*strip.filter), strip.drive.get());
    EXPECT_EQ(testing::probe(engine).graph().destination(*strip.mixer), strip.filter.get());
    EXPECT_EQ(testing::probe(engine).graph().inputs(*strip.mixer).size(),
              static_cast<std::size_t>(trackerVoiceCount + AudioEngine::auditionVoiceCount));
    EXPECT_TRUE(strip.mixer->hasLevelTap());
    for (int i = 0; i < AudioEngine::trackCount; ++i) EXPECT_EQ(testing::probe(engine).strip(i).connected, i == 3);
}

TEST(AudioEngineGraph, AppliesTheDefaultsOfAProjectWithoutMasterEffectsOrMixerEntries)
{
    AudioEngine engine(manualEngine());
    Project project;
    project.masterFX.reset();
    project.masterVolume = 0.6;
    project.mixer.resize(4);
    project.mixer[1] = MixerTrack{.volume = 0.4, .pan = -0.5, .cutoff = 800, .resonance = 2, .drive = 0.5};
    engine.apply(project);

    EXPECT_EQ(testing::probe(engine).graph().mainMixer().outputVolume(), 0.6f);
    EXPECT_EQ((*testing::probe(engine).master().filter).frequency(), 18000.0f);
    EXPECT_EQ((*testing::probe(engine).master().filter).bandwidth(), 0.7f);
    EXPECT_EQ((*testing::probe(engine).master().drive).wetDryMix(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().crusher).wetDryMix(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().delay).wetDryMix(), 0.0f);
    EXPECT_EQ((*testing::probe(engine).master().delay).delayTime(), 0.25);
    EXPECT_EQ((*testing::probe(engine).master().delay).feedback(), 35.0f);
    EXPECT_EQ((*testing::probe(engine).master().reverb).wetDryMix(), 0.0f);

    const auto& shaped = testing::probe(engine).strip(1);
    EXPECT_EQ(shaped.mixer->outputVolume(), 0.4f);
    EXPECT_EQ(shaped.mixer->pan(), -0.5f);
    EXPECT_EQ(shaped.filter->frequency(), 800.0f);
    EXPECT_EQ(shaped.filter->bandwidth(), 2.0f);
    EXPECT_EQ(shaped.drive->preGain(), 7.0f);
    EXPECT_EQ(shaped.drive->wetDryMix(), 32.5f);
    for (int i : {4, 17, 31}) {
        const auto& strip = testing::probe(engine).strip(i);
        EXPECT_EQ(strip.mixer->outputVolume(), 0.85f) << i;
        EXPECT_EQ(strip.mixer->pan(), 0.0f) << i;
        EXPECT_EQ(strip.filter->frequency(), 20000.0f) << i;
        EXPECT_EQ(strip.filter->bandwidth(), 0.7f) << i;
        EXPECT_EQ(strip.drive->wetDryMix(), 0.0f) << i;
    }
}

TEST(AudioEngineGraph, SoloCountsEveryMixerEntryAndMuteWins)
{
    AudioEngine engine(manualEngine());
    Project project;
    project.mixer.resize(40);
    project.mixer[2].solo = true;
    project.mixer[3].solo = true;
    project.mixer[3].muted = true;
    engine.apply(project);
    EXPECT_EQ(testing::probe(engine).strip(2).mixer->outputVolume(), 0.85f);
    EXPECT_EQ(testing::probe(engine).strip(3).mixer->outputVolume(), 0.0f);
    EXPECT_EQ(testing::probe(engine).strip(0).mixer->outputVolume(), 0.0f);

    // A solo beyond the 32 strips still silences every strip that is not soloed.
    project.mixer[2].solo = false;
    project.mixer[3].solo = false;
    project.mixer[35].solo = true;
    engine.apply(project);
    for (int i = 0; i < AudioEngine::trackCount; ++i) EXPECT_EQ(testing::probe(engine).strip(i).mixer->outputVolume(), 0.0f) << i;
}

TEST(AudioEngineGraph, MetersHoldTheBlockPeakAndFallWithEachRead)
{
    AudioEngine engine(manualEngine());
    engine.apply(testing::transparentProject());
    testing::probe(engine).mixdown().connectStrip(0);
    auto& player = *testing::probe(engine).strip(0).voices[0];
    player.scheduleBuffer(testing::constantBuffer(testing::engineBlock, 0.5f), 0);
    player.play();
    const auto capture = testing::renderEngine(engine, 4 * testing::engineBlock);
    EXPECT_EQ(capture.peak(0, testing::engineBlock), 0.5f); // the chain passed it untouched

    const auto first = engine.meters();
    EXPECT_EQ(first.tracks[0], 0.5f);
    EXPECT_EQ(first.master, 0.5f);
    EXPECT_EQ(first.tracks[1], 0.0f); // never connected
    const auto second = engine.meters();
    EXPECT_FLOAT_EQ(second.tracks[0], 0.41f);
    EXPECT_FLOAT_EQ(second.master, 0.41f);
    EXPECT_NEAR(testing::probe(engine).strip(0).mixer->levelTap().peak(), 0.3362f, 1e-6);
}

TEST(AudioEngineGraph, StripMeterReadsAfterTheStripVolume)
{
    AudioEngine engine(manualEngine());
    Project project = testing::transparentProject();
    project.mixer[0].volume = 0.5;
    engine.apply(project);
    testing::probe(engine).mixdown().connectStrip(0);
    auto& player = *testing::probe(engine).strip(0).voices[0];
    player.scheduleBuffer(testing::constantBuffer(4 * testing::engineBlock, 0.8f), 0);
    player.play();
    testing::renderEngine(engine, 4 * testing::engineBlock);
    EXPECT_FLOAT_EQ(engine.meters().tracks[0], 0.4f);
}

TEST(AudioEngineGraph, RecoveryKeepsStripsAndClearsWhatPlayersHeld)
{
    AudioEngine engine(manualEngine());
    engine.apply(testing::transparentProject());
    engine.start();
    testing::probe(engine).mixdown().connectStrip(5);
    auto& player = *testing::probe(engine).strip(5).voices[0];
    player.scheduleBuffer(testing::constantBuffer(48000, 0.25f), 0);
    player.play();
    EXPECT_EQ(testing::renderEngine(engine, 512).peak(0, 512), 0.25f);

    engine.recoverAfterConfigurationChange();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(testing::probe(engine).strip(5).connected);
    EXPECT_EQ(testing::renderEngine(engine, 512).peak(0, 512), 0.0f);
}

} // namespace
} // namespace veltrane
