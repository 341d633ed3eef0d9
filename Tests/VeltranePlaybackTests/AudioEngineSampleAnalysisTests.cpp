#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"
#include "AudioEngineTestSupport.hpp"

#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"
#include "VeltranePlayback/LiveEngine/AudioEngine.hpp"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace veltrane {
namespace {

// Writes channels of equal length as a 32-bit float WAV file with libsndfile.
void writeWAV(const std::filesystem::path& path, double sampleRate, const std::vector<std::vector<float>>& channels)
{
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < channels.front().size(); ++i) {
        for (const auto& channel : channels) interleaved.push_back(channel[i]);
    }
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(channels.front().size()));
    sf_close(file);
}

Instrument sampleAt(const std::filesystem::path& path, std::optional<SampleEdit> edit = std::nullopt)
{
    Instrument instrument = Instrument::withBookmark("Sample", Data(bookmarkForPath(path)), path.filename().string());
    instrument.sampleEdit = edit;
    return instrument;
}

// Three hits of a 441 Hz tone, each decaying over 50 ms, after silence: at 0.25, 0.5 and 0.75 s of one
// second at 44.1 kHz.
std::vector<float> hits()
{
    std::vector<float> samples(44100, 0.0f);
    for (int start : {11025, 22050, 33075}) {
        for (int i = 0; i < 4410; ++i) {
            const double t = i / 44100.0;
            samples[static_cast<std::size_t>(start + i)] = static_cast<float>(0.8 * std::exp(-t / 0.015) * std::sin(2 * std::numbers::pi * 441 * t + 0.3));
        }
    }
    return samples;
}

TEST(AudioEngineSampleAnalysis, PeaksOverviewTheEditedLeftChannel)
{
    testing::TemporaryFolder folder;
    const std::vector<float> left = {0.1f, -0.2f, 0.5f, 0.3f, -0.9f, -0.4f, 0.0f, 0.0f, 0.7f, -0.7f};
    const std::vector<float> right(10, 0.05f);
    writeWAV(folder / "ten.wav", 44100, {left, right});
    AudioEngine engine(testing::manualEngine());

    Instrument instrument = sampleAt(folder / "ten.wav");
    EXPECT_EQ(engine.peaks(instrument, 4), (std::vector<float>{-0.2f, 0.1f, 0.3f, 0.5f, -0.9f, -0.4f, 0.0f, 0.0f, -0.7f, 0.7f}));
    // What the editor shows is what is heard: the instrument's current edit, here played backwards, which
    // the engine then holds for playback too.
    instrument.sampleEdit = SampleEdit{.reversed = true};
    EXPECT_EQ(engine.peaks(instrument, 5), (std::vector<float>{-0.7f, 0.7f, 0.0f, 0.0f, -0.9f, -0.4f, 0.3f, 0.5f, -0.2f, 0.1f}));
    const auto held = testing::probe(engine).samples().sample(instrument.id);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->channels.front().front(), -0.7f);
}

// The editor draws the trim marks on the whole sample, so a trimmed sample's overview still spans the
// whole of it: the frames trimmed away as the file holds them, the frames kept as they are heard.
TEST(AudioEngineSampleAnalysis, PeaksOfATrimmedSampleSpanTheWholeSample)
{
    testing::TemporaryFolder folder;
    const std::vector<float> left = {0.1f, -0.2f, 0.5f, 0.3f, -0.9f, -0.4f, 0.0f, 0.0f, 0.7f, -0.7f};
    writeWAV(folder / "ten.wav", 44100, {left, std::vector<float>(10, 0.05f)});
    AudioEngine engine(testing::manualEngine());

    // Frames 2 to 7 are kept and played backwards; one frame a bucket, so each pair is one frame twice.
    const Instrument trimmed = sampleAt(folder / "ten.wav", SampleEdit{.trimStart = 0.2, .trimEnd = 0.8, .reversed = true});
    const std::vector<float> shown = {0.1f, -0.2f, 0.0f, 0.0f, -0.4f, -0.9f, 0.3f, 0.5f, 0.7f, -0.7f};
    std::vector<float> expected;
    for (const float value : shown) expected.insert(expected.end(), {value, value});
    EXPECT_EQ(engine.peaks(trimmed, 10), expected);

    // Playback still holds the trimmed audio alone.
    const auto held = testing::probe(engine).samples().sample(trimmed.id);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->channels.front(), (std::vector<float>{0.0f, 0.0f, -0.4f, -0.9f, 0.3f, 0.5f}));

    // Asked for four buckets, the ten frames of the whole give five of two frames (the six kept would give three).
    const auto coarse = engine.peaks(trimmed, 4);
    EXPECT_EQ(coarse, (std::vector<float>{-0.2f, 0.1f, 0.0f, 0.0f, -0.9f, -0.4f, 0.3f, 0.5f, -0.7f, 0.7f}));
}

TEST(AudioEngineSampleAnalysis, AMissingSampleHasNothingToAnalyse)
{
    testing::TemporaryFolder folder;
    const Instrument missing = sampleAt(folder / "gone.wav");
    AudioEngine engine(testing::manualEngine());
    EXPECT_TRUE(engine.peaks(missing, 180).empty());
    EXPECT_TRUE(engine.transientSlices(missing, 0.5).empty());
    EXPECT_EQ(engine.zeroCrossingPosition(missing, 0.37), 0.37);
    Instrument synth;
    EXPECT_TRUE(engine.peaks(synth, 96).empty());
    EXPECT_EQ(engine.zeroCrossingPosition(synth, 0.5), 0.5);
}

// Detection and snapping read the sample as the edit makes it; a loop changes neither (it plays per note
// and is not in the analysed audio), and the instrument's own edit keeps its loop on.
TEST(AudioEngineSampleAnalysis, SlicesAndSnapsFollowTheEditAndIgnoreTheLoop)
{
    testing::TemporaryFolder folder;
    const auto samples = hits();
    writeWAV(folder / "hits.wav", 44100, {samples});
    AudioEngine engine(testing::manualEngine());

    const Instrument plain = sampleAt(folder / "hits.wav", SampleEdit{});
    const auto slices = engine.transientSlices(plain, 0.5);
    EXPECT_EQ(slices, detectTransientSlices(samples, 44100, 0.5, 32));
    ASSERT_EQ(slices.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(slices[i], 0.25 * static_cast<double>(i + 1), 0.01);

    Instrument looping = plain;
    looping.sampleEdit->loop = true;
    looping.sampleEdit->loopStart = 0.3;
    looping.sampleEdit->loopEnd = 0.6;
    EXPECT_EQ(engine.transientSlices(looping, 0.5), slices);
    EXPECT_TRUE(looping.sampleEdit->loop);

    // Snapping within 3 ms: a position just after the second hit's start moves onto a zero crossing of
    // the tone, the same with and without the loop.
    const double position = (22050.0 + 60.0) / 44100.0;
    const double snapped = engine.zeroCrossingPosition(plain, position);
    EXPECT_EQ(snapped, snapSamplePositionToZeroCrossing(samples, position, 44100, 0.003));
    EXPECT_NE(snapped, position);
    EXPECT_LE(std::abs(snapped - position), 0.003 + 1.0 / 44100);
    EXPECT_EQ(engine.zeroCrossingPosition(looping, position), snapped);

    // Trimmed to its second half, the sample has two hits, at the start of each remaining half's quarter.
    const Instrument trimmed = sampleAt(folder / "hits.wav", SampleEdit{.trimStart = 0.5});
    const std::vector<float> secondHalf(samples.begin() + 22050, samples.end());
    EXPECT_EQ(engine.transientSlices(trimmed, 0.5), detectTransientSlices(secondHalf, 44100, 0.5, 32));
}

} // namespace
} // namespace veltrane
