#include "NoteRenderTestSupport.hpp"

#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Project liveProject()
{
    Project project;
    project.instruments = {organ(Waveform::saw)};
    return project;
}

LiveNote strike(const Project& project, int track, EffectParameters effects = {})
{
    const Instrument& instrument = project.instruments[0];
    return LiveNote{.instrumentIndex = 0,
                    .track = track,
                    .note = 60,
                    .frame = 6000,
                    .lengthFrames = 6000,
                    .volume = 1,
                    .pan = 0,
                    .effects = effects,
                    .instrument = {instrument, instrument},
                    .sampleRate = 48000};
}

} // namespace

TEST(LiveNoteRendering, IdenticalNotesOnDifferentTracksShareOneBuffer)
{
    const auto project = liveProject();
    RenderedNoteCache cache;
    const auto first = renderNote(strike(project, 1), project, nullptr, &cache);
    const auto second = renderNote(strike(project, 5), project, nullptr, &cache);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(first->frameLength(), 6000 + 240); // the gate and the shortest release

    // Notes whose sound moves with time or with their neighbour are rendered each time and never kept.
    EffectParameters vibrato;
    vibrato.vibrato = EffectOscillation{4, 40};
    EffectParameters tremolo;
    tremolo.tremolo = EffectOscillation{4, 0.5};
    EffectParameters slide;
    slide.slide = true;
    for (const auto& effects : {vibrato, tremolo, slide}) {
        const auto a = renderNote(strike(project, 1, effects), project, nullptr, &cache);
        const auto b = renderNote(strike(project, 1, effects), project, nullptr, &cache);
        ASSERT_TRUE(a && b);
        EXPECT_NE(a.get(), b.get());
        EXPECT_EQ(channelOf(*a, 0), channelOf(*b, 0)); // yet the same sound, rendered twice
    }
    EXPECT_EQ(cache.size(), 1u);
}

TEST(LiveNoteRendering, ContinuousModulationShapesTheNoteAndKeepsItOutOfTheCache)
{
    auto project = liveProject();
    ModulationSource macro{.name = "Fade", .kind = ModulationSourceKind::macro, .macroValue = 1};
    project.modulation = ModulationRack{
        .sources = {macro},
        .routes = {ModulationRoute{.sourceID = macro.id, .target = ParameterTarget::instrumentVolume, .amount = -1, .track = 2}},
    };
    RenderedNoteCache cache;
    const auto plain = renderNote(strike(project, 1), project, nullptr, &cache);
    const auto modulated = renderNote(strike(project, 2), project, nullptr, &cache);
    ASSERT_TRUE(plain && modulated);
    EXPECT_EQ(cache.size(), 1u);
    // The macro at full with a full negative amount takes the volume to 0 throughout the note on track 2.
    EXPECT_GT(rms(*plain, 0, 6000), 0.05);
    EXPECT_LT(rms(*modulated, 0, 6000), 1e-6);
}

TEST(LiveNoteRendering, HostedInstrumentsAndUnloadedSamplesRenderNothing)
{
    auto project = liveProject();
    project.instruments[0] = Instrument::withAudioUnit("Keys", AudioUnitReference{}, std::nullopt);
    EXPECT_FALSE(renderNote(strike(project, 0), project, nullptr, nullptr));
    project.instruments[0] = Instrument::withBookmark("Kick", Data(std::string_view("veltrane-path:/k.wav")), "k.wav");
    EXPECT_FALSE(renderNote(strike(project, 0), project, nullptr, nullptr));
}

TEST(LiveNoteRendering, LiveAndExportRenderSampleNotesAlikeAndSynthNotesAlikeAfterTheirDecay)
{
    SampleBuffer sample{.sampleRate = 22050, .channels = {std::vector<float>(22050)}};
    for (std::size_t i = 0; i < 22050; ++i) sample.channels[0][i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
    Instrument sampler = organ();
    sampler.source = SampleSource{Data(std::string_view("veltrane-path:/s.wav")), "s.wav"};
    sampler.volume = 0.7;
    sampler.release = 0.1;
    sampler.sampleEdit = SampleEdit{.loop = true, .loopStart = 0.3};
    EffectParameters effects;
    effects.vibrato = EffectOscillation{3, 24};

    const auto live = renderedSample(sample, 64, 0.8, sampler, 0.5, -0.3, effects, 62, 0, 16, 44100);
    const auto exported = OfflineNoteRendering::pitchedSample(sample, 64, 0.7 * 0.5, -0.3, effects, 62 - 64, 0.8, sampler, 0, 16);
    ASSERT_TRUE(live && exported);
    ASSERT_EQ(live->frameLength(), exported->frameLength());
    for (std::int64_t i = 0; i < live->frameLength(); ++i) {
        ASSERT_NEAR(live->channel(0)[i], exported->channel(0)[i], 1e-6) << i;
        ASSERT_NEAR(live->channel(1)[i], exported->channel(1)[i], 1e-6) << i;
    }

    // A synth note released after its decay: both fall linearly from the sustain level over the release.
    Instrument synth = organ(Waveform::triangle);
    synth.attack = 0.01;
    synth.decay = 0.05;
    synth.sustain = 0.6;
    synth.release = 0.2;
    const auto liveSynth = renderedSynth(57, Waveform::triangle, 0.5, synth, 1, 0.4, {}, std::nullopt, 0, 16, 44100);
    const auto exportedSynth = OfflineNoteRendering::synth(57, Waveform::triangle, synth, 0.7, 1, 0.4, {}, std::nullopt, 0, 16);
    const std::int64_t common = std::min(liveSynth->frameLength(), exportedSynth->frameLength());
    EXPECT_GE(common, 30869);
    for (std::int64_t i = 0; i < common; ++i) ASSERT_NEAR(liveSynth->channel(0)[i], exportedSynth->channel(0)[i], 1e-6) << i;
}
