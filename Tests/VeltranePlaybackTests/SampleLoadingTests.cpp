#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"

#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"

#include <gtest/gtest.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

using Reason = SampleLoadFailure::Reason;

constexpr int kWAV = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

SampleBuffer asSample(const AudioFileBuffer& audio) { return SampleBuffer{audio.sampleRate, audio.channels}; }

Instrument bookmarked(const std::filesystem::path& path, SampleEdit edit = {})
{
    auto instrument = Instrument::withBookmark("Sample", Data(bookmarkForPath(path)), path.filename());
    instrument.sampleEdit = edit;
    return instrument;
}

Instrument embedded(const std::vector<std::uint8_t>& bytes, SampleEdit edit = {})
{
    auto instrument = Instrument::withData("Embedded", Data(bytes), "take.wav");
    instrument.sampleEdit = edit;
    return instrument;
}

} // namespace

TEST(SampleLoading, LoadsABookmarkedFileAndEmbeddedBytesWithTheirEditApplied)
{
    TemporaryFolder folder;
    const auto signal = testSignal(1000, 48000);
    writeWithLibsndfile(folder / "take.wav", signal, kWAV);
    const SampleEdit edit{.trimStart = 0.25, .trimEnd = 0.75, .fadeIn = 0.1, .reversed = true, .normalized = true};

    const auto fromFile = bookmarked(folder / "take.wav", edit);
    const auto fromBytes = embedded(fileBytes(folder / "take.wav"), edit);
    SampleStore store;
    store.loadSamples({Instrument::withWaveform("Synth", Waveform::saw), fromFile, fromBytes});

    for (const auto& instrument : {fromFile, fromBytes}) {
        const auto sample = store.sample(instrument.id);
        ASSERT_TRUE(sample) << instrument.name;
        EXPECT_EQ(*sample, editSample(asSample(signal), edit)) << instrument.name;
        EXPECT_EQ(sample->frameCount(), 500);
        EXPECT_EQ(sample->sampleRate, 48000);
        EXPECT_EQ(store.sampleEdit(instrument.id), edit);
        EXPECT_FALSE(store.loadFailure(instrument.id));
    }
}

TEST(SampleLoading, EveryUnreadableSampleIsSilentWithItsReason)
{
    TemporaryFolder folder;
    writeBytes(folder / "text.wav", {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o'});
    std::filesystem::create_directory(folder / "folder.wav");

    auto foreign = bookmarked(folder / "text.wav");
    foreign.source = SampleSource{Data(std::string_view("\x62\x6F\x6F\x6B\x00\x00\x02\x00", 8)), "kick.wav"};

    struct Case { const char* name; Instrument instrument; Reason reason; };
    const Case cases[] = {
        {"foreign bookmark", foreign, Reason::unresolvableBookmark},
        {"missing file", bookmarked(folder / "gone.wav"), Reason::fileNotFound},
        {"folder", bookmarked(folder / "folder.wav"), Reason::fileUnreadable},
        {"text file", bookmarked(folder / "text.wav"), Reason::notAudio},
        {"text bytes", embedded({'n', 'o', 'p', 'e'}), Reason::notAudio},
        {"no bytes", embedded({}), Reason::notAudio},
    };
    SampleStore store;
    for (const auto& c : cases) {
        store.loadSamples({c.instrument});
        EXPECT_FALSE(store.sample(c.instrument.id)) << c.name;
        ASSERT_TRUE(store.loadFailure(c.instrument.id)) << c.name;
        EXPECT_EQ(store.loadFailure(c.instrument.id)->reason, c.reason) << c.name;
        EXPECT_FALSE(store.loadFailure(c.instrument.id)->message.empty()) << c.name;
    }
}

TEST(SampleLoading, AZeroFrameFileGivesAZeroFrameSample)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "empty.wav", testSignal(0), kWAV);
    const auto instrument = bookmarked(folder / "empty.wav", {.trimStart = 0.5, .fadeOut = 0.2, .normalized = true});
    SampleStore store;
    store.loadSamples({instrument});
    ASSERT_TRUE(store.sample(instrument.id));
    EXPECT_EQ(store.sample(instrument.id)->frameCount(), 0);
    EXPECT_FALSE(store.loadFailure(instrument.id));
}

TEST(SampleLoading, ReadsAgainOnlyWhenTheEditOrTheAudioChanges)
{
    TemporaryFolder folder;
    const auto first = testSignal(400, 44100, 1);
    const auto second = testSignal(800, 44100, 2);
    writeWithLibsndfile(folder / "take.wav", first, kWAV);
    auto instrument = bookmarked(folder / "take.wav");
    SampleStore store;
    store.loadSamples({instrument});
    const auto loaded = store.sample(instrument.id);

    // The file changes on disk; an unchanged edit keeps the loaded audio without reading it.
    writeWithLibsndfile(folder / "take.wav", second, kWAV);
    store.loadSamples({instrument});
    EXPECT_EQ(store.sample(instrument.id), loaded);

    // Any change of the edit, even one only the renderer reads, loads the file afresh.
    instrument.sampleEdit->loopEnd = 0.9;
    store.loadSamples({instrument});
    EXPECT_EQ(*store.sample(instrument.id), asSample(second));
    EXPECT_EQ(store.sampleEdit(instrument.id), instrument.sampleEdit);
}

TEST(SampleLoading, AnInstrumentPointedAtOtherAudioLoadsItWithAnUnchangedEdit)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "a.wav", testSignal(300, 44100, 1), kWAV);
    writeWithLibsndfile(folder / "b.wav", testSignal(700, 44100, 2), kWAV);
    auto instrument = bookmarked(folder / "a.wav");
    SampleStore store;
    store.loadSamples({instrument});

    instrument.source = SampleSource{Data(bookmarkForPath(folder / "b.wav")), "b.wav"};
    store.loadSamples({instrument});
    EXPECT_EQ(*store.sample(instrument.id), asSample(testSignal(700, 44100, 2)));

    instrument.source = EmbeddedSource{Data(fileBytes(folder / "a.wav")), "a.wav"};
    store.loadSamples({instrument});
    EXPECT_EQ(*store.sample(instrument.id), asSample(testSignal(300, 44100, 1)));
}

TEST(SampleLoading, AFailedLoadSilencesTheInstrumentUntilALoadSucceeds)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "take.wav", testSignal(300), kWAV);
    auto instrument = bookmarked(folder / "take.wav");
    SampleStore store;
    store.loadSamples({instrument});
    ASSERT_TRUE(store.sample(instrument.id));

    std::filesystem::remove(folder / "take.wav");
    instrument.sampleEdit->reversed = true;
    store.loadSamples({instrument});
    EXPECT_FALSE(store.sample(instrument.id));
    EXPECT_FALSE(store.sampleEdit(instrument.id));
    EXPECT_EQ(store.loadFailure(instrument.id)->reason, Reason::fileNotFound);

    // The file comes back (relinked or restored): the next load finds it.
    writeWithLibsndfile(folder / "take.wav", testSignal(300), kWAV);
    store.loadSamples({instrument});
    ASSERT_TRUE(store.sample(instrument.id));
    EXPECT_EQ(store.sample(instrument.id)->channels[0].front(), testSignal(300).channels[0].back());
    EXPECT_FALSE(store.loadFailure(instrument.id));
}

TEST(SampleLoading, OnlySampleInstrumentsAreLoadedAndAMissingEditIsTheNeutralOne)
{
    TemporaryFolder folder;
    writeWithLibsndfile(folder / "take.wav", testSignal(300), kWAV);
    auto withoutEdit = bookmarked(folder / "take.wav");
    withoutEdit.sampleEdit = SampleEdit{.trimEnd = 0.5};
    SampleStore store;
    store.loadSamples({withoutEdit});
    ASSERT_TRUE(store.sample(withoutEdit.id));
    EXPECT_EQ(store.sample(withoutEdit.id)->frameCount(), 150);

    // A hand-written project without an edit plays the whole sample, as the export does.
    withoutEdit.sampleEdit.reset();
    store.loadSamples({withoutEdit});
    ASSERT_TRUE(store.sample(withoutEdit.id));
    EXPECT_EQ(store.sample(withoutEdit.id)->frameCount(), 300);
    EXPECT_EQ(store.sampleEdit(withoutEdit.id), SampleEdit{});
    EXPECT_FALSE(store.loadFailure(withoutEdit.id));

    const auto plugin = Instrument::withAudioUnit("Plug-in", AudioUnitReference{}, std::nullopt);
    auto synthWithEdit = Instrument::withWaveform("Synth", Waveform::sine);
    synthWithEdit.sampleEdit = SampleEdit{};
    store.loadSamples({plugin, synthWithEdit});
    EXPECT_FALSE(store.sample(plugin.id));
    EXPECT_FALSE(store.sample(synthWithEdit.id));
    EXPECT_FALSE(store.loadFailure(synthWithEdit.id));
}

TEST(SampleLoading, ASampleOverTheSizeLimitIsSilentWithItsReasonAndNothingThrows)
{
    TemporaryFolder folder;
    writeSparseWAV(folder / "hour.wav", 600u << 20);
    const auto huge = bookmarked(folder / "hour.wav");
    SampleStore store;
    EXPECT_NO_THROW(store.loadSamples({huge}));
    EXPECT_FALSE(store.sample(huge.id));
    const auto failure = store.loadFailure(huge.id);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->reason, Reason::tooLarge);
    EXPECT_NE(failure->message.find("\u201Chour.wav\u201D is too large"), std::string::npos) << failure->message;
}
