#include "NoteRenderTestSupport.hpp"

#include "VeltranePlayback/Voices/LiveNoteRendering.hpp"
#include "VeltranePlayback/Voices/SampleVoice.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// One second of a 441 Hz sine (100 frames a cycle) at 44.1 kHz, decaying slowly so that every stretch
// of it is told apart from every other.
SampleBuffer recording(int channels = 1, std::int64_t frames = 44100)
{
    SampleBuffer buffer{.sampleRate = 44100, .channels = std::vector<std::vector<float>>(channels)};
    for (int c = 0; c < channels; ++c) {
        auto& samples = buffer.channels[c];
        samples.resize(static_cast<std::size_t>(frames));
        for (std::int64_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / 44100;
            samples[i] = static_cast<float>((c == 0 ? 0.8 : -0.4) * std::exp(-t) * std::sin(2 * std::numbers::pi * 441 * t));
        }
    }
    return buffer;
}

Instrument sampler(SampleEdit edit = {})
{
    Instrument instrument = Instrument::withBookmark("Sampler", Data(std::string_view("veltrane-path:/x.wav")), "x.wav");
    instrument.volume = 1;
    instrument.attack = 0;
    instrument.decay = 0;
    instrument.sustain = 1;
    instrument.release = 0;
    instrument.cutoff = 20000;
    instrument.sampleEdit = edit;
    return instrument;
}

std::shared_ptr<AudioBuffer> play(const SampleBuffer& source, int note, double gate, const Instrument& instrument,
                                  double pan = 0, std::optional<int> slideFrom = {})
{
    return renderedSample(source, note, gate, instrument, 1.0, pan, {}, slideFrom, 0, 16, 44100);
}

} // namespace

TEST(SampleVoice, MiddleCReproducesTheSample)
{
    const auto source = recording();
    const auto buffer = play(source, 60, 2.0, sampler());
    ASSERT_TRUE(buffer);
    // The whole stretch, which ends before the gate: the read stops on the sample's last frame.
    EXPECT_EQ(buffer->frameLength(), 44099);
    const double centre = std::sqrt(0.5);
    double worst = 0;
    double sourceEnergy = 0;
    double renderedEnergy = 0;
    for (std::int64_t i = 0; i < 44099; ++i) {
        const double rendered = buffer->channel(0)[i] / centre;
        worst = std::max(worst, std::abs(rendered - source.channels[0][i]));
        sourceEnergy += source.channels[0][i] * source.channels[0][i];
        renderedEnergy += rendered * rendered;
    }
    EXPECT_LT(worst, 0.03); // only the top filter's slight phase lag at 441 Hz
    EXPECT_NEAR(renderedEnergy / sourceEnergy, 1, 1e-3);
    // A mono sample feeds both sides alike.
    EXPECT_EQ(channelOf(*buffer, 0), channelOf(*buffer, 1));
}

TEST(SampleVoice, AnOctaveUpIsHalfAsLongAndTwiceTheFrequency)
{
    const auto source = recording();
    const auto up = play(source, 72, 2.0, sampler());
    ASSERT_TRUE(up);
    EXPECT_EQ(up->frameLength(), 22050);
    EXPECT_NEAR(upwardCrossings(*up, 0, 22050), 441, 2);
    const auto down = play(source, 48, 4.0, sampler());
    EXPECT_NEAR(down->frameLength(), 88200, 2);
}

TEST(SampleVoice, ALoopedSampleSustainsThroughTheGate)
{
    const auto source = recording(1, 4410); // a tenth of a second
    const auto looped = play(source, 60, 1.0, sampler({.loop = true, .loopStart = 0.5}));
    ASSERT_TRUE(looped);
    EXPECT_EQ(looped->frameLength(), 44320); // gate 1 s plus the shortest release of 5 ms
    EXPECT_GT(rms(*looped, 40000, 44000), 0.1);
    // Without the loop the note ends with its sample.
    EXPECT_EQ(play(source, 60, 1.0, sampler())->frameLength(), 4409);
}

TEST(SampleVoice, ALoopThatEndsOnTheLastFrameWrapsAndStaysInsideTheSample)
{
    // A ramp: the loop runs over the whole sample, so the read passes the last frame again and again.
    SampleBuffer ramp{.sampleRate = 44100, .channels = {std::vector<float>(101)}};
    for (int i = 0; i <= 100; ++i) ramp.channels[0][i] = static_cast<float>(i) / 100;
    const auto looped = play(ramp, 60, 0.1, sampler({.loop = true, .loopCrossfade = 0.0}));
    ASSERT_TRUE(looped);
    float largest = 0;
    for (std::int64_t i = 0; i < looped->frameLength(); ++i) largest = std::max(largest, std::abs(looped->channel(0)[i]));
    EXPECT_LE(largest, 1.0f);
    EXPECT_TRUE(std::isfinite(rms(*looped, 0, looped->frameLength())));
}

TEST(SampleVoice, StereoSamplesKeepTheirSidesAndPanWeighsThem)
{
    const auto source = recording(2);
    const auto hard = play(source, 60, 0.5, sampler(), 1.0);
    EXPECT_LT(rms(*hard, 0, 22050, 0), 1e-6);
    EXPECT_GT(rms(*hard, 0, 22050, 1), 0.1);
    const auto centred = play(source, 60, 0.5, sampler());
    EXPECT_NEAR(rms(*centred, 0, 22050, 1) / rms(*centred, 0, 22050, 0), 0.5, 0.01);
}

TEST(SampleVoice, NotesWithoutSoundGiveNoBuffer)
{
    SampleBuffer single{.sampleRate = 44100, .channels = {std::vector<float>{0.5f}}};
    EXPECT_FALSE(play(single, 60, 1.0, sampler()));
    EXPECT_FALSE(play(SampleBuffer{}, 60, 1.0, sampler()));
    const auto sliced = sampler({.slicePoints = std::vector<double>{0.5}});
    EXPECT_TRUE(play(recording(), 61, 1.0, sliced));
    EXPECT_FALSE(play(recording(), 62, 1.0, sliced));
    EXPECT_FALSE(play(recording(), 60, std::nan(""), sampler()));
}

TEST(SampleVoice, ASlideReadsFasterAndTheStretchEndsEarly)
{
    // Gliding down from an octave above reads the source faster than the plan's length allows for: the
    // buffer holds only the frames actually rendered, not silence up to the planned length.
    const auto source = recording(1, 13230); // 0.3 s, shorter than the gate
    const auto plain = play(source, 60, 0.5, sampler());
    const auto sliding = play(source, 60, 0.5, sampler(), 0, 72);
    ASSERT_TRUE(plain && sliding);
    EXPECT_EQ(plain->frameLength(), 13229); // one pass, ending on the last frame
    EXPECT_EQ(sliding->frameCapacity(), plain->frameCapacity());
    EXPECT_LT(sliding->frameLength(), 11000); // about 1.3 times as fast on average over the stretch
}
