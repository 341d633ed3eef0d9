#include "NoteRenderTestSupport.hpp"

#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltranePlayback/Voices/SynthVoice.hpp"
#include "VeltraneCore/DSP/WideInstructions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace veltrane;
using namespace veltrane::testing;

TEST(RenderedNoteCache, IdenticalNotesShareOneRenderedBuffer)
{
    const auto instrument = organ(Waveform::saw);
    const auto key = scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0);
    const auto other = scheduledBufferKey(instrument, 64, 6000, 1.0, 0.0);
    int renders = 0;
    auto render = [&](int note) {
        return [&, note] {
            ++renders;
            return renderedSynth(note, Waveform::saw, 6000.0 / 48000, instrument, 1, 0, {}, std::nullopt, 0, 16, 48000);
        };
    };

    RenderedNoteCache cache;
    const AudioBufferRef first = cache.bufferFor(key, render(60));
    const AudioBufferRef again = cache.bufferFor(scheduledBufferKey(instrument, 60, 6000, 1.0, 0.0), render(60));
    const AudioBufferRef chordNote = cache.bufferFor(other, render(64));
    EXPECT_EQ(renders, 2);
    EXPECT_EQ(first.get(), again.get());
    EXPECT_NE(first.get(), chordNote.get());
    EXPECT_EQ(cache.find(key).get(), first.get());
    EXPECT_EQ(cache.size(), 2u);

    // A silent note is not kept: asking again tries again.
    cache.bufferFor(scheduledBufferKey(instrument, 1, 1, 1, 0), [] { return std::shared_ptr<AudioBuffer>(); });
    EXPECT_EQ(cache.size(), 2u);
}

TEST(RenderedNoteCache, LettingGoOfPlayedNotesAndRenderingThemAgainGivesTheSameSound)
{
    const auto instrument = organ(Waveform::triangle);
    const auto key = scheduledBufferKey(instrument, 67, 4800, 0.5, -0.25);
    auto render = [&] {
        return renderedSynth(67, Waveform::triangle, 0.1, instrument, 0.5, -0.25, {}, std::nullopt, 0, 16, 48000);
    };
    RenderedNoteCache cache;
    AudioBufferRef scheduled = cache.bufferFor(key, render);
    const auto left = channelOf(*scheduled, 0);
    const auto right = channelOf(*scheduled, 1);

    EXPECT_EQ(cache.releaseUnused(), 0u); // still scheduled
    scheduled.reset();                    // played and released
    EXPECT_EQ(cache.releaseUnused(), 1u);
    EXPECT_EQ(cache.size(), 0u);

    const AudioBufferRef again = cache.bufferFor(key, render);
    EXPECT_EQ(channelOf(*again, 0), left);
    EXPECT_EQ(channelOf(*again, 1), right);
}

namespace {

// A project whose rack holds one macro at `macro`, routed to `target` with `amount` for track 0.
Project projectWithRoute(ParameterTarget target, double amount, double macro, std::optional<int> track = 0)
{
    Project project;
    ModulationSource source{.name = "Macro", .kind = ModulationSourceKind::macro, .macroValue = macro};
    project.modulation = ModulationRack{
        .sources = {source},
        .routes = {ModulationRoute{.sourceID = source.id, .target = target, .amount = amount, .track = track}},
    };
    return project;
}

AudioBuffer constantBuffer(std::int64_t frames, float value)
{
    AudioBuffer buffer(frames, 48000);
    std::fill(buffer.channel(0), buffer.channel(0) + frames, value);
    std::fill(buffer.channel(1), buffer.channel(1) + frames, value);
    return buffer;
}

ContinuousModulation context(const Instrument& instrument)
{
    return ContinuousModulation{.instrumentIndex = 0,
                                .track = 0,
                                .startFrame = 0,
                                .durationFrames = 100,
                                .baseInstrument = instrument,
                                .startInstrument = instrument,
                                .startPan = 0,
                                .sampleRate = 48000};
}

} // namespace

TEST(ContinuousModulation, PanAndVolumeAreCorrectedRelativeToWhatTheNoteWasRenderedWith)
{
    Instrument instrument = organ();
    instrument.volume = 0.5;
    instrument.pan = 0;

    // Pan modulation reaching +1 on a note rendered in the centre: left silent, right √2 louder.
    const auto panned = projectWithRoute(ParameterTarget::instrumentPan, 0.5, 1.0);
    auto buffer = constantBuffer(64, 0.5f);
    ASSERT_TRUE(needsContinuousModulation(0, 0, panned));
    applyContinuousModulation(buffer, panned, context(instrument));
    EXPECT_NEAR(buffer.channel(0)[10], 0, 1e-6);
    EXPECT_NEAR(buffer.channel(1)[10], 0.5 * std::sqrt(2.0), 1e-6);

    // Volume modulation from 0.5 up to 1 doubles what was rendered at 0.5.
    const auto louder = projectWithRoute(ParameterTarget::instrumentVolume, 0.5, 1.0);
    auto loud = constantBuffer(64, 0.25f);
    applyContinuousModulation(loud, louder, context(instrument));
    EXPECT_NEAR(loud.channel(0)[63], 0.5, 1e-6);
    EXPECT_NEAR(loud.channel(1)[0], 0.5, 1e-6);
}

TEST(ContinuousModulation, LeavesNotesOfOtherTracksAndUnroutedParametersAsRendered)
{
    const auto elsewhere = projectWithRoute(ParameterTarget::instrumentVolume, 1, 1, 3);
    EXPECT_FALSE(needsContinuousModulation(0, 0, elsewhere));
    auto buffer = constantBuffer(32, 0.3f);
    applyContinuousModulation(buffer, elsewhere, context(organ()));
    EXPECT_EQ(buffer.channel(0)[5], 0.3f);

    // Tune moves only at a note's start: never continuously.
    const auto tuned = projectWithRoute(ParameterTarget::instrumentTune, 1, 1);
    EXPECT_FALSE(needsContinuousModulation(0, 0, tuned));
}

TEST(ContinuousModulation, AModulatedCutoffFiltersTheOpenNote)
{
    // The macro at full with a full negative amount drives the cutoff down to 20 Hz: a 4 kHz tone vanishes.
    const auto closed = projectWithRoute(ParameterTarget::instrumentCutoff, -1, 1.0);
    ASSERT_TRUE(hasContinuousFilterModulation(0, 0, closed));
    AudioBuffer tone(4800, 48000);
    for (int i = 0; i < 4800; ++i) {
        tone.channel(0)[i] = tone.channel(1)[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 4000 * i / 48000));
    }
    applyContinuousModulation(tone, closed, context(withOpenFilter(organ())));
    EXPECT_LT(rms(tone, 2400, 4800), 1e-3);
}

TEST(ContinuousModulation, InsideTheVoiceLoopItSoundsAsThePassOverTheRenderedNote)
{
    // An LFO moving cutoff, volume and pan over a saw note: the voice that runs the modulation on its
    // own frames gives what the pass over the stored note gives, but for the float rounding in between.
    Project project;
    ModulationSource lfo{.name = "Wobble", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::sine,
                         .rateBeats = 0.5};
    project.modulation = ModulationRack{
        .sources = {lfo},
        .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = -0.6},
                   ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = 0.4},
                   ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentPan, .amount = 0.7}},
    };
    Instrument instrument = withOpenFilter(organ(Waveform::saw));
    instrument.volume = 0.6;
    ContinuousModulation note = context(instrument);
    note.durationFrames = 9000;
    note.startFrame = 1234;
    const SynthNote synth{.note = 57, .waveform = Waveform::saw, .gateSeconds = 0.2, .lengthSeconds = 0.2, .volume = 0.8};

    auto separate = renderSynthNote(synth, instrument, 48000, SynthReleaseStyle::fadeOverTail);
    ASSERT_TRUE(separate);
    applyContinuousModulation(*separate, project, note);
    ContinuousModulator modulator(project, note);
    const auto fused = renderSynthNote(synth, instrument, 48000, SynthReleaseStyle::fadeOverTail, &modulator);
    ASSERT_TRUE(fused);
    ASSERT_EQ(fused->frameLength(), separate->frameLength());

    double largest = 0;
    double level = 0;
    for (int channel = 0; channel < 2; ++channel) {
        for (std::int64_t i = 0; i < fused->frameLength(); ++i) {
            largest = std::max(largest, std::fabs(double(fused->channel(channel)[i]) - separate->channel(channel)[i]));
            level = std::max(level, std::fabs(double(fused->channel(channel)[i])));
        }
    }
    EXPECT_GT(level, 0.05);
    EXPECT_LE(largest, 1e-6);
    // And the modulation did act: the unmodulated note differs by far more than rounding.
    const auto plain = renderSynthNote(synth, instrument, 48000, SynthReleaseStyle::fadeOverTail);
    double moved = 0;
    for (std::int64_t i = 0; i < plain->frameLength(); ++i) {
        moved = std::max(moved, std::fabs(double(plain->channel(0)[i]) - fused->channel(0)[i]));
    }
    EXPECT_GT(moved, 0.01);
}

TEST(ContinuousModulation, RunsOfAnyLengthGiveTheSameFrames)
{
    // The filter's tunings are worked out a window ahead; runs that start and end anywhere in it, or
    // reach past it, retune on the same frames as runs of the longest length.
    Project project;
    ModulationSource lfo{.name = "Sweep", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::triangle,
                         .rateBeats = 0.25};
    project.modulation = ModulationRack{
        .sources = {lfo},
        .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.5},
                   ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentResonance, .amount = 0.3},
                   ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentVolume, .amount = 0.2}},
    };
    ContinuousModulation note = context(organ(Waveform::saw));
    note.startFrame = 777;
    note.durationFrames = 3000;
    constexpr int frames = 3000;
    std::vector<StereoLanes> input(frames);
    for (int n = 0; n < frames; ++n) input[std::size_t(n)] = StereoLanes{std::sin(n * 0.05), std::cos(n * 0.031)};

    const auto render = [&](const std::vector<int>& runs) {
        ContinuousModulator modulator(project, note);
        std::vector<StereoLanes> out = input;
        std::size_t next = 0;
        for (int first = 0; first < frames; ++next) {
            const int count = std::min(runs[next % runs.size()], frames - first);
            modulator.process(first, out.data() + first, count);
            first += count;
        }
        return out;
    };
    const auto whole = render({ContinuousModulator::maximumRunFrames});
    for (const auto& runs : {std::vector<int>{1}, std::vector<int>{7, 64, 13}, std::vector<int>{15, 17, 33, 2}}) {
        const auto uneven = render(runs);
        for (int n = 0; n < frames; ++n) {
            ASSERT_EQ(uneven[std::size_t(n)][0], whole[std::size_t(n)][0]) << "frame " << n << " of runs of " << runs[0];
            ASSERT_EQ(uneven[std::size_t(n)][1], whole[std::size_t(n)][1]) << "frame " << n << " of runs of " << runs[0];
        }
    }
}

TEST(ContinuousModulation, TheCopiesForAnyProcessorAndForTheWiderInstructionsSoundTheSame)
{
    // The modulation's sources, cutoffs and tunings are built twice (see WideInstructions.hpp); the
    // copy for any x86-64 gives what the running one gives, to within double rounding.
    Project project;
    ModulationSource lfo{.name = "Wobble", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::sine,
                         .rateBeats = 0.5};
    ModulationSource steps{.name = "Steps", .kind = ModulationSourceKind::lfo, .waveform = ModulationWaveform::square,
                           .rateBeats = 0.25};
    project.modulation = ModulationRack{
        .sources = {lfo, steps},
        .routes = {ModulationRoute{.sourceID = lfo.id, .target = ParameterTarget::instrumentCutoff, .amount = -0.6},
                   ModulationRoute{.sourceID = steps.id, .target = ParameterTarget::instrumentCutoff, .amount = 0.2},
                   ModulationRoute{.sourceID = steps.id, .target = ParameterTarget::instrumentVolume, .amount = 0.3}},
    };
    ContinuousModulation note = context(organ(Waveform::saw));
    note.startFrame = 4321;
    note.durationFrames = 20000;
    const auto render = [&] {
        ContinuousModulator modulator(project, note);
        std::vector<StereoLanes> frames(20000);
        for (std::size_t n = 0; n < frames.size(); ++n) frames[n] = StereoLanes{std::sin(n * 0.07), std::sin(n * 0.013)};
        for (std::size_t first = 0; first < frames.size(); first += ContinuousModulator::maximumRunFrames) {
            const int count = int(std::min<std::size_t>(ContinuousModulator::maximumRunFrames, frames.size() - first));
            modulator.process(std::int64_t(first), frames.data() + first, count);
        }
        return frames;
    };
    const auto running = render();
    WideInstructionsRefusal refusal;
    const auto portable = render();
    double largest = 0;
    double level = 0;
    for (std::size_t n = 0; n < running.size(); ++n) {
        for (int channel = 0; channel < 2; ++channel) {
            largest = std::max(largest, std::abs(running[n][channel] - portable[n][channel]));
            level = std::max(level, std::abs(portable[n][channel]));
        }
    }
    EXPECT_GT(level, 0.1);
    EXPECT_LT(largest, 1e-12);
}
