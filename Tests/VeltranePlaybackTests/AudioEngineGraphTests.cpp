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
    AudioGraph& graph = engine.graph();
    std::vector<const AudioNode*> chain;
    for (const AudioNode* node = &engine.masterBus(); node != nullptr; node = graph.destination(*node)) chain.push_back(node);
    const std::vector<const AudioNode*> expected{&engine.masterBus(), &engine.masterFilter(), &engine.masterDrive(),
                                                 &engine.crusher(), &engine.delay(), &engine.reverb(),
                                                 &engine.transportTimePitch(), &engine.limiter(), &graph.mainMixer()};
    EXPECT_EQ(chain, expected);
    EXPECT_EQ(graph.inputs(engine.masterBus()), (std::vector<AudioNode*>{&engine.clockPlayer(), &engine.metronomePlayer()}));
    EXPECT_EQ(engine.clockPlayer().volume(), 0.0f);
    EXPECT_EQ(engine.limiter().attackTime(), 0.001f);
    EXPECT_EQ(engine.limiter().decayTime(), 0.08f);
    for (int i = 0; i < AudioEngine::trackCount; ++i) {
        EXPECT_FALSE(engine.track(i).connected);
        EXPECT_EQ(engine.track(i).mixer->graph(), nullptr);
    }
}

TEST(AudioEngineGraph, ConnectsAStripOnceAndIgnoresIndicesOutsideTheStrips)
{
    AudioEngine engine(manualEngine());
    engine.connectTrack(3);
    engine.connectTrack(3);
    engine.connectTrack(32);
    engine.connectTrack(-1);
    const auto& strip = engine.track(3);
    ASSERT_TRUE(strip.connected);
    EXPECT_EQ(engine.graph().inputs(engine.masterBus()).size(), 3u);
    EXPECT_EQ(engine.graph().destination(*strip.drive), &engine.masterBus());
    EXPECT_EQ(engine.graph().destination(*strip.filter), strip.drive.get());
    EXPECT_EQ(engine.graph().destination(*strip.mixer), strip.filter.get());
    EXPECT_EQ(engine.graph().inputs(*strip.mixer).size(),
              static_cast<std::size_t>(trackerVoiceCount + AudioEngine::auditionVoiceCount));
    EXPECT_TRUE(strip.mixer->hasLevelTap());
    for (int i = 0; i < AudioEngine::trackCount; ++i) EXPECT_EQ(engine.track(i).connected, i == 3);
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

    EXPECT_EQ(engine.graph().mainMixer().outputVolume(), 0.6f);
    EXPECT_EQ(engine.masterFilter().frequency(), 18000.0f);
    EXPECT_EQ(engine.masterFilter().bandwidth(), 0.7f);
    EXPECT_EQ(engine.masterDrive().wetDryMix(), 0.0f);
    EXPECT_EQ(engine.crusher().wetDryMix(), 0.0f);
    EXPECT_EQ(engine.delay().wetDryMix(), 0.0f);
    EXPECT_EQ(engine.delay().delayTime(), 0.25);
    EXPECT_EQ(engine.delay().feedback(), 35.0f);
    EXPECT_EQ(engine.reverb().wetDryMix(), 0.0f);

    const auto& shaped = engine.track(1);
    EXPECT_EQ(shaped.mixer->outputVolume(), 0.4f);
    EXPECT_EQ(shaped.mixer->pan(), -0.5f);
    EXPECT_EQ(shaped.filter->frequency(), 800.0f);
    EXPECT_EQ(shaped.filter->bandwidth(), 2.0f);
    EXPECT_EQ(shaped.drive->preGain(), 7.0f);
    EXPECT_EQ(shaped.drive->wetDryMix(), 32.5f);
    for (int i : {4, 17, 31}) {
        const auto& strip = engine.track(i);
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
    EXPECT_EQ(engine.track(2).mixer->outputVolume(), 0.85f);
    EXPECT_EQ(engine.track(3).mixer->outputVolume(), 0.0f);
    EXPECT_EQ(engine.track(0).mixer->outputVolume(), 0.0f);

    // A solo beyond the 32 strips still silences every strip that is not soloed.
    project.mixer[2].solo = false;
    project.mixer[3].solo = false;
    project.mixer[35].solo = true;
    engine.apply(project);
    for (int i = 0; i < AudioEngine::trackCount; ++i) EXPECT_EQ(engine.track(i).mixer->outputVolume(), 0.0f) << i;
}

TEST(AudioEngineGraph, MetersHoldTheBlockPeakAndFallWithEachRead)
{
    AudioEngine engine(manualEngine());
    engine.apply(testing::transparentProject());
    engine.connectTrack(0);
    auto& player = *engine.track(0).voices[0].player;
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
    EXPECT_NEAR(engine.track(0).mixer->levelTap().peak(), 0.3362f, 1e-6);
}

TEST(AudioEngineGraph, StripMeterReadsAfterTheStripVolume)
{
    AudioEngine engine(manualEngine());
    Project project = testing::transparentProject();
    project.mixer[0].volume = 0.5;
    engine.apply(project);
    engine.connectTrack(0);
    auto& player = *engine.track(0).voices[0].player;
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
    engine.connectTrack(5);
    auto& player = *engine.track(5).voices[0].player;
    player.scheduleBuffer(testing::constantBuffer(48000, 0.25f), 0);
    player.play();
    EXPECT_EQ(testing::renderEngine(engine, 512).peak(0, 512), 0.25f);

    engine.recoverAfterConfigurationChange();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(engine.track(5).connected);
    EXPECT_EQ(testing::renderEngine(engine, 512).peak(0, 512), 0.0f);
}

} // namespace
} // namespace veltrane
