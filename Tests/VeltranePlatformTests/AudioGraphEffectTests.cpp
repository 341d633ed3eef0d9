#include "AudioGraphTestSupport.hpp"

#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace veltrane {
namespace {

using testing::renderGraph;
using testing::sameBits;

constexpr double rate = 48000;

// One player into `node` into the main mixer; the player plays `buffer` from frame 0.
struct EffectGraph {
    AudioGraph graph{rate, 256};
    std::shared_ptr<AudioPlayerNode> player = std::make_shared<AudioPlayerNode>();
    EffectGraph(std::shared_ptr<AudioNode> node, AudioBufferRef buffer)
    {
        graph.attach(player);
        graph.attach(node);
        graph.connect(*player, *node);
        graph.connect(*node, graph.mainMixer());
        player->scheduleBuffer(std::move(buffer), 0);
        player->play();
    }
};

std::shared_ptr<AudioBuffer> process(std::shared_ptr<AudioNode> node, AudioBufferRef input, std::int64_t frames)
{
    EffectGraph setup(std::move(node), std::move(input));
    return renderGraph(setup.graph, frames);
}

TEST(AudioEffects, NeutralSettingsPassAudioThroughBitForBit)
{
    // Settings that must not touch the sound, even where other parameters of the node are far from
    // neutral.
    const std::vector<std::pair<const char*, std::function<std::shared_ptr<AudioNode>()>>> neutral = {
        {"mixer at unity", [] { return std::make_shared<AudioMixerNode>(); }},
        {"EQ bypassed", [] {
             auto eq = std::make_shared<AudioEQNode>();
             eq->setFrequency(500);
             eq->setBypassed(true);
             return eq;
         }},
        {"EQ corner at Nyquist", [] {
             auto eq = std::make_shared<AudioEQNode>();
             eq->setFrequency(24000);
             return eq;
         }},
        {"distortion dry", [] {
             auto drive = std::make_shared<AudioDistortionNode>();
             drive->setPreGain(20);
             return drive;
         }},
        {"bit-crusher dry", [] {
             auto crusher = std::make_shared<AudioBitCrusherNode>();
             crusher->setRounding(100);
             crusher->setDecimationMix(100);
             return crusher;
         }},
        {"delay dry", [] {
             auto delay = std::make_shared<AudioDelayNode>();
             delay->setDelayTime(0.01);
             delay->setFeedback(90);
             return delay;
         }},
        {"reverb dry", [] { return std::make_shared<AudioReverbNode>(); }},
        {"limiter below full scale", [] {
             auto limiter = std::make_shared<AudioPeakLimiterNode>();
             limiter->setAttackTime(0.001f);
             limiter->setDecayTime(0.08f);
             return limiter;
         }},
        {"time-pitch at rate 1", [] { return std::make_shared<AudioTimePitchNode>(); }},
        {"bypassed distortion at full mix", [] {
             auto drive = std::make_shared<AudioDistortionNode>();
             drive->setPreGain(20);
             drive->setWetDryMix(100);
             drive->setBypassed(true);
             return drive;
         }},
    };
    auto input = testing::noiseBuffer(10000, rate, 0.99f);
    for (const auto& [name, make] : neutral) {
        auto node = make();
        const std::int64_t latency = node->latencyFrames();
        auto out = process(node, input, 10000 + latency);
        for (int channel = 0; channel < 2; ++channel) {
            // A node that looks ahead gives the same sound, later by its latency.
            EXPECT_EQ(testing::peak(out->channel(channel), 0, latency), 0.0f) << name << ", channel " << channel;
            EXPECT_TRUE(sameBits(out->channel(channel) + latency, input->channel(channel), 10000)) << name << ", channel " << channel;
        }
    }
}

TEST(AudioEffects, ParametersClampAndIgnoreNaN)
{
    AudioDelayNode delay;
    delay.setWetDryMix(150);
    EXPECT_EQ(delay.wetDryMix(), 100);
    delay.setWetDryMix(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(delay.wetDryMix(), 100);
    delay.setDelayTime(9);
    EXPECT_EQ(delay.delayTime(), AudioDelayNode::maximumDelayTime);
    AudioEQNode eq;
    eq.setBandwidth(0.01f);
    EXPECT_EQ(eq.bandwidth(), 0.05f);
    eq.setFrequency(-5);
    EXPECT_EQ(eq.frequency(), 10);
    AudioTimePitchNode timePitch;
    timePitch.setRate(100);
    EXPECT_EQ(timePitch.rate(), 4);
    AudioMixerNode mixer;
    mixer.setPan(-3);
    EXPECT_EQ(mixer.pan(), -1);
}

TEST(AudioMixer, PanTurnsOneSideDownAndVolumeScales)
{
    auto input = testing::makeBuffer(512, rate, [](int, std::int64_t) { return 0.8f; });
    struct Case {
        float volume, pan, left, right;
    };
    for (auto [volume, pan, left, right] : {Case{1, -1, 0.8f, 0}, Case{1, 1, 0, 0.8f}, Case{1, 0.5f, 0.4f, 0.8f},
                                            Case{0.5f, 0, 0.4f, 0.4f}, Case{0, 0, 0, 0}}) {
        auto mixer = std::make_shared<AudioMixerNode>();
        mixer->setOutputVolume(volume);
        mixer->setPan(pan);
        auto out = process(mixer, input, 512);
        EXPECT_FLOAT_EQ(out->channel(0)[300], left) << volume << " " << pan;
        EXPECT_FLOAT_EQ(out->channel(1)[300], right) << volume << " " << pan;
    }
}

TEST(AudioMixer, VolumeChangesGlideOverOneBlock)
{
    auto mixer = std::make_shared<AudioMixerNode>();
    EffectGraph setup(mixer, testing::makeBuffer(2048, rate, [](int, std::int64_t) { return 1.0f; }));
    renderGraph(setup.graph, 256);
    mixer->setOutputVolume(0.0f);
    auto out = renderGraph(setup.graph, 256);
    for (int i = 1; i < 256; ++i) ASSERT_LT(out->channel(0)[i], out->channel(0)[i - 1]);
    EXPECT_GT(out->channel(0)[0], 0.99f);
    EXPECT_EQ(out->channel(0)[255], 0.0f);
}

TEST(AudioEQ, LowPassKeepsTheLowsAndCutsTheHighs)
{
    auto levelThrough = [](float corner, float bandwidth, double hertz) {
        auto eq = std::make_shared<AudioEQNode>();
        eq->setFrequency(corner);
        eq->setBandwidth(bandwidth);
        auto out = process(eq, testing::sineBuffer(48000, rate, hertz, 0.5f), 48000);
        return testing::toneAmplitude(out->channel(0) + 24000, 24000, rate, hertz) / 0.5;
    };
    EXPECT_NEAR(levelThrough(1000, 0.7f, 100), 1.0, 0.02);
    EXPECT_LT(levelThrough(1000, 0.7f, 10000), 0.011);            // more than 39 dB down
    EXPECT_NEAR(levelThrough(1000, 0.7f, 1000), 0.7, 0.02);       // the flat corner: -3 dB
    EXPECT_GT(levelThrough(1000, 5.0f, 1000), 4.5);               // a large value rings at the corner
    EXPECT_LT(levelThrough(1000, 0.2f, 1000), levelThrough(1000, 0.7f, 1000));
}

TEST(AudioEQ, BlocksOfAnOddLengthFilterAsEvenOnesDo)
{
    // The filter works through a block two frames at a time, the last frame of an odd block alone; the
    // state it hands on must not depend on where blocks end. A resonant low corner rings for long.
    auto render = [](int block) {
        auto eq = std::make_shared<AudioEQNode>();
        eq->setFrequency(300);
        eq->setBandwidth(4);
        EffectGraph setup(eq, testing::noiseBuffer(9600, rate, 0.5f, 5));
        return renderGraph(setup.graph, 9600, block);
    };
    const auto even = render(256);
    for (int block : {1, 37, 255}) {
        const auto odd = render(block);
        for (int channel = 0; channel < 2; ++channel) {
            float worst = 0.0f;
            for (std::int64_t i = 0; i < 9600; ++i) {
                worst = std::max(worst, std::fabs(odd->channel(channel)[i] - even->channel(channel)[i]));
            }
            EXPECT_LE(worst, 1e-6f) << "blocks of " << block << ", channel " << channel;
        }
    }
    EXPECT_GT(testing::peak(even->channel(0), 0, 9600), 0.1f);
}

TEST(AudioDistortion, DriveAddsHarmonicsWithinFullScale)
{
    auto drive = std::make_shared<AudioDistortionNode>();
    drive->setPreGain(20);
    drive->setWetDryMix(100);
    auto input = testing::sineBuffer(48000, rate, 200, 0.5f);
    auto out = process(drive, input, 48000);
    const float* wet = out->channel(0) + 24000;
    EXPECT_LT(testing::toneAmplitude(input->channel(0) + 24000, 24000, rate, 600), 0.001);
    EXPECT_GT(testing::toneAmplitude(wet, 24000, rate, 600), 0.02);
    EXPECT_GT(testing::toneAmplitude(wet, 24000, rate, 400), 0.01); // the asymmetry makes even harmonics
    // Saturated: twice the input gives barely more output.
    auto twice = std::make_shared<AudioDistortionNode>();
    twice->setPreGain(20);
    twice->setWetDryMix(100);
    auto louder = process(twice, testing::sineBuffer(48000, rate, 200, 1.0f), 48000);
    EXPECT_LT(testing::peak(louder->channel(0), 24000, 48000), 1.2f * testing::peak(out->channel(0), 24000, 48000));
    EXPECT_LT(testing::peak(louder->channel(0), 0, 48000), 1.5f);

    // Half the mix keeps half the dry signal.
    auto half = std::make_shared<AudioDistortionNode>();
    half->setPreGain(-80);
    half->setWetDryMix(50);
    auto halfOut = process(half, input, 48000);
    EXPECT_NEAR(testing::toneAmplitude(halfOut->channel(0) + 24000, 24000, rate, 200), 0.25, 0.01);
}

TEST(AudioBitCrusher, RoundingShortensTheWordAndDecimationHoldsFrames)
{
    auto crusher = std::make_shared<AudioBitCrusherNode>();
    crusher->setRounding(100); // 4 bits: steps of 1/8
    crusher->setWetDryMix(100);
    auto input = testing::noiseBuffer(4096, rate, 0.9f);
    auto out = process(crusher, input, 4096);
    for (int i = 0; i < 4096; ++i) {
        const float steps = out->channel(0)[i] * 8.0f;
        ASSERT_EQ(steps, std::round(steps)) << i;
        ASSERT_LE(std::fabs(out->channel(0)[i] - input->channel(0)[i]), 1.0f / 16.0f + 1e-6f);
    }

    auto held = std::make_shared<AudioBitCrusherNode>();
    held->setDecimationMix(100);
    held->setWetDryMix(100);
    auto heldOut = process(held, input, 4096);
    for (int i = 0; i < 4096; ++i) {
        ASSERT_EQ(heldOut->channel(1)[i], heldOut->channel(1)[i - i % AudioBitCrusherNode::decimationFrames]) << i;
    }
    EXPECT_NE(heldOut->channel(1)[1], heldOut->channel(1)[4]);
}

TEST(AudioDelay, EchoesArriveAfterTheDelayTimeAndFade)
{
    auto delay = std::make_shared<AudioDelayNode>();
    delay->setDelayTime(0.1);
    delay->setFeedback(50);
    delay->setWetDryMix(50);
    auto out = process(delay, testing::impulseBuffer(rate, 1.0f), 20000);
    const float* left = out->channel(0);
    EXPECT_EQ(left[0], 0.5f); // the dry half
    EXPECT_EQ(testing::peak(left, 1, 4799), 0.0f);
    EXPECT_NEAR(left[4800], 0.5f, 1e-6f); // the first echo, half wet
    EXPECT_LT(testing::peak(left, 4801, 9599), 1e-6f);
    // The second echo went once round the feedback (half) and its damping, which smears it over a few
    // frames but keeps its sum.
    float second = 0;
    for (int i = 9600; i < 9700; ++i) second += left[i];
    EXPECT_NEAR(second, 0.25f, 0.005f);
    EXPECT_LT(testing::peak(left, 9601, 9700), testing::peak(left, 9600, 9601));
    EXPECT_LT(testing::peak(left, 14400, 14500), testing::peak(left, 9600, 9700));

    // The line rests while the mix is 0; opening it later does not replay what went by.
    auto resting = std::make_shared<AudioDelayNode>();
    resting->setDelayTime(0.01);
    resting->setWetDryMix(0);
    EffectGraph setup(resting, testing::impulseBuffer(rate, 1.0f));
    renderGraph(setup.graph, 256);
    resting->setWetDryMix(100);
    auto later = renderGraph(setup.graph, 4800);
    EXPECT_EQ(testing::peak(later->channel(0), 0, 4800), 0.0f);
}

TEST(AudioReverb, TailRingsAndDiesAway)
{
    auto reverb = std::make_shared<AudioReverbNode>();
    reverb->setWetDryMix(100);
    EffectGraph setup(reverb, testing::impulseBuffer(rate, 1.0f));
    auto out = renderGraph(setup.graph, 6 * 48000);
    const float* left = out->channel(0);
    const float* right = out->channel(1);
    EXPECT_EQ(left[0], 0.0f); // fully wet: nothing before the pre-delay
    const float early = testing::peak(left, 0, 24000);
    EXPECT_GT(early, 0.01f);
    EXPECT_GT(testing::peak(right, 0, 24000), 0.01f);
    EXPECT_FALSE(sameBits(left, right, 24000)); // a wide tail
    // Between 1.5 and 2 s to fall by 60 dB: 0.9 s after the onset it has fallen by about 30 to 40 dB.
    const double onset = testing::rms(left, 4800, 9600);
    const double second = testing::rms(left, 48000, 52800);
    EXPECT_GT(testing::decibels(second / onset), -45.0);
    EXPECT_LT(testing::decibels(second / onset), -25.0);
    EXPECT_LT(testing::decibels(testing::rms(left, 2 * 48000, 2 * 48000 + 4800) / onset), -60.0);
    // Once the hall has fallen quiet, it stops costing anything: the output is exact silence.
    auto after = renderGraph(setup.graph, 48000);
    EXPECT_EQ(testing::peak(after->channel(0), 24000, 48000), 0.0f);
}

TEST(AudioPeakLimiter, HoldsLoudSoundsAtFullScaleAndRecovers)
{
    auto limiter = std::make_shared<AudioPeakLimiterNode>();
    limiter->setAttackTime(0.001f);
    limiter->setDecayTime(0.08f);
    auto loud = testing::sineBuffer(48000, rate, 220, 4.0f);
    auto quiet = testing::sineBuffer(48000, rate, 220, 0.5f);
    EffectGraph setup(limiter, loud);
    const std::int64_t latency = limiter->latencyFrames();
    EXPECT_EQ(latency, 48); // the attack time
    setup.player->scheduleBuffer(quiet, 48000);
    auto out = renderGraph(setup.graph, 96000 + latency);
    // The 12 dB too loud sine stays at full scale from its first sample: the gain has fallen by the time
    // the onset leaves the look-ahead.
    EXPECT_LE(testing::peak(out->channel(0), 0, 48000 + latency), 1.0f);
    EXPECT_LE(testing::peak(out->channel(1), 0, 48000 + latency), 1.0f);
    EXPECT_GT(testing::peak(out->channel(0), 24000, 48000), 0.95f);
    // Within a few decay times of the quiet part, the gain is back to unity, exactly.
    EXPECT_EQ(limiter->currentGain(), 1.0f);
    EXPECT_TRUE(sameBits(out->channel(0) + 72000 + latency, quiet->channel(0) + 24000, 24000));

    auto gained = std::make_shared<AudioPeakLimiterNode>();
    gained->setPreGain(6);
    auto raised = process(gained, quiet, 4800);
    EXPECT_NEAR(testing::peak(raised->channel(0), 0, 4800), 0.5f * std::pow(10.0f, 6.0f / 20.0f), 1e-3f);
}

// 24 square waves at full scale, each a semitone above the last, struck together: their sum reaches 24
// at the onset and swings between large values from one sample to the next.
std::shared_ptr<AudioBuffer> squareChord(std::int64_t frames, double sampleRate)
{
    return testing::makeBuffer(frames, sampleRate, [=](int channel, std::int64_t i) {
        float sum = 0.0f;
        for (int note = 0; note < 24; ++note) {
            const double hertz = 110.0 * std::pow(2.0, note / 12.0) * (channel == 0 ? 1.0 : 1.003);
            sum += std::fmod(hertz * static_cast<double>(i) / sampleRate, 1.0) < 0.5 ? 1.0f : -1.0f;
        }
        return sum;
    });
}

TEST(AudioPeakLimiter, NoSampleOfALoudOnsetLeavesAboveTheCeiling)
{
    const struct {
        double sampleRate;
        float attack;
        std::int64_t latency;
    } cases[] = {
        {48000, 0.001f, 48}, {44100, 0.001f, 44}, {44100, 0.0001f, 4}, {48000, 0.02f, 960}, {96000, 0.2f, 19200},
    };
    for (const auto& c : cases) {
        AudioGraph graph(c.sampleRate, 256);
        auto player = std::make_shared<AudioPlayerNode>();
        auto limiter = std::make_shared<AudioPeakLimiterNode>();
        graph.attach(player);
        graph.attach(limiter);
        graph.connect(*player, *limiter);
        graph.connect(*limiter, graph.mainMixer());
        limiter->setAttackTime(c.attack);
        limiter->setDecayTime(0.08f);
        EXPECT_EQ(limiter->latencyFrames(), c.latency) << c.sampleRate << " Hz, attack " << c.attack;

        // Half a second of the chord, then a second of silence, then a quiet passage.
        const auto chordFrames = static_cast<std::int64_t>(c.sampleRate / 2);
        const auto quietStart = chordFrames + static_cast<std::int64_t>(c.sampleRate);
        auto chord = squareChord(chordFrames, c.sampleRate);
        auto quiet = testing::noiseBuffer(chordFrames, c.sampleRate, 0.9f, 7);
        player->scheduleBuffer(chord, 0);
        player->scheduleBuffer(quiet, quietStart);
        player->play();
        auto out = renderGraph(graph, quietStart + chordFrames + c.latency);

        for (int channel = 0; channel < 2; ++channel) {
            const float* samples = out->channel(channel);
            EXPECT_LE(testing::peak(samples, 0, out->frameLength()), 1.0f) << c.sampleRate << " Hz, attack " << c.attack;
            EXPECT_EQ(testing::peak(samples, 0, c.latency), 0.0f) << "nothing before the look-ahead is full";
            EXPECT_GT(testing::peak(samples, c.latency, c.latency + chordFrames), 0.9f) << "the chord is held, not muted";
            EXPECT_TRUE(sameBits(samples + quietStart + c.latency, quiet->channel(channel), chordFrames))
                << "a quiet passage passes bit for bit, " << c.sampleRate << " Hz, attack " << c.attack;
        }
    }
}

TEST(AudioPeakLimiter, TheLongestLookAheadFollowsAGainThatRisesForLongerThanTheWindow)
{
    // After a loud burst the detector falls slowly, so every frame's gain is a little above the last for
    // far longer than the longest look-ahead: the queue of minima then holds the whole window at once.
    auto limiter = std::make_shared<AudioPeakLimiterNode>();
    limiter->setAttackTime(AudioPeakLimiterNode::maximumAttackTime);
    limiter->setDecayTime(0.5f);
    // A burst 18 dB too loud, a long quiet tone while the gain recovers, a second burst, and a quiet
    // tone once the gain is back at unity.
    const std::int64_t burst = 480;
    const std::int64_t recovery = 3 * 48000;
    auto loud = testing::sineBuffer(burst, rate, 400, 8.0f);
    auto tone = testing::sineBuffer(recovery, rate, 400, 0.5f);
    auto quiet = testing::noiseBuffer(48000, rate, 0.5f, 3);
    EffectGraph setup(limiter, loud);
    const std::int64_t latency = limiter->latencyFrames();
    ASSERT_EQ(latency, 9600);
    setup.player->scheduleBuffer(tone, burst);
    setup.player->scheduleBuffer(loud, burst + recovery);
    setup.player->scheduleBuffer(tone, 2 * burst + recovery);
    setup.player->scheduleBuffer(quiet, 2 * burst + 2 * recovery);
    const std::int64_t total = 2 * burst + 2 * recovery + quiet->frameLength();
    auto out = renderGraph(setup.graph, total + latency);

    for (int channel = 0; channel < 2; ++channel) {
        const float* samples = out->channel(channel);
        EXPECT_LE(testing::peak(samples, 0, out->frameLength()), 1.0f);
        // Each burst is held at the ceiling from its first sample, the second as well as the first.
        EXPECT_GT(testing::peak(samples, latency, latency + burst), 0.95f);
        EXPECT_GT(testing::peak(samples, latency + burst + recovery, latency + 2 * burst + recovery), 0.95f);
        // The gain comes back: the tone is far louder at the end of its recovery than just after the burst.
        const double early = testing::rms(samples, latency + burst, latency + burst + 4800);
        const double late = testing::rms(samples, latency + burst + recovery - 4800, latency + burst + recovery);
        EXPECT_GT(late, 2 * early);
        EXPECT_TRUE(sameBits(samples + 2 * burst + 2 * recovery + latency, quiet->channel(channel), quiet->frameLength()))
            << "the quiet passage passes bit for bit once the gain is back at unity";
    }
}

} // namespace
} // namespace veltrane
