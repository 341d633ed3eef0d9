#include "NoteRenderTestSupport.hpp"
#include "../VeltranePlatformTests/AudioFileTestSupport.hpp"

#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// 125 bpm at 4 rows per beat: every row is 0.12 s, 5,292 frames at 44.1 kHz.
constexpr std::int64_t kRowFrames = 5292;

Project songOf(int rows, int channels, double bpm = 125)
{
    Project project;
    project.bpm = bpm;
    project.rowsPerBeat = 4;
    project.swing = 0.0;
    project.patterns = {Pattern("Song", rows, channels)};
    project.order = {0};
    project.arrangement = SongArrangement{.blocks = {SongBlock{.pattern = 0, .repeats = 1}}};
    project.instruments = {organ(Waveform::saw)};
    return project;
}

Cell noteCell(int pitch, std::optional<Effect> first = {}, std::optional<Effect> second = {}, double gate = 1)
{
    Cell cell{.note = NotePitch{pitch}, .instrument = 0, .gate = gate};
    cell.effects = {first, second};
    return cell;
}

struct Placed {
    std::int64_t frame;
    std::int64_t length;
    int note;
    friend bool operator==(const Placed&, const Placed&) = default;
};

std::vector<Placed> placed(const RenderEventList& list)
{
    std::vector<Placed> result;
    for (const auto& event : list.events) {
        result.push_back({std::llround(event.start * 44100), std::llround(event.gateDuration * 44100), event.note});
    }
    return result;
}

// The events mixed into one mono line, each buffer at its start frame truncated as the mixdown places it.
std::vector<double> mixed(const Project& project, const RenderEventList& list)
{
    std::vector<double> line;
    for (const auto& event : list.events) {
        const auto buffer = OfflineNoteRendering::renderEvent(event, project, list.timeline, 0.25, 35, nullptr);
        if (!buffer) continue;
        const auto start = static_cast<std::size_t>(event.start * 44100);
        if (line.size() < start + static_cast<std::size_t>(buffer->frameLength())) line.resize(start + buffer->frameLength());
        for (std::int64_t i = 0; i < buffer->frameLength(); ++i) line[start + i] += buffer->channel(0)[i];
    }
    return line;
}

// Where the sound starts again after at least 2 ms of near silence.
std::vector<std::size_t> onsets(const std::vector<double>& line)
{
    std::vector<std::size_t> found;
    std::size_t quiet = 88;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (std::abs(line[i]) < 1e-4) {
            ++quiet;
        } else {
            if (quiet >= 88) found.push_back(i);
            quiet = 0;
        }
    }
    return found;
}

} // namespace

TEST(OfflineNoteList, EffectColumnsPlaceAndRepeatTheNote)
{
    constexpr std::int64_t d = 4 * kRowFrames; // a note held four rows
    struct Case {
        const char* name;
        std::optional<Effect> first;
        std::optional<Effect> second;
        int pitch;
        std::vector<Placed> expected;
    };
    const Case cases[] = {
        {"plain", {}, {}, 60, {{0, d, 60}}},
        {"retrigger 4", Effect{EffectType::retrigger, 0x04}, {}, 60,
         {{0, d / 4, 60}, {d / 4, d / 4, 60}, {d / 2, d / 4, 60}, {3 * d / 4, d / 4, 60}}},
        {"delay half a row", Effect{EffectType::delay, 0x08}, {}, 60, {{kRowFrames / 2, d, 60}}},
        {"arpeggio", Effect{EffectType::arpeggio, 0x47}, {}, 60, {{0, d / 3, 60}, {d / 3, d / 3, 64}, {2 * d / 3, d / 3, 67}}},
        {"chord", Effect{EffectType::chord, 0x47}, {}, 60, {{0, d, 60}, {0, d, 64}, {0, d, 67}}},
        {"arpeggio wins over chord", Effect{EffectType::chord, 0x35}, Effect{EffectType::arpeggio, 0x47}, 60,
         {{0, d / 3, 60}, {d / 3, d / 3, 64}, {2 * d / 3, d / 3, 67}}},
        {"delay moves every retrigger", Effect{EffectType::retrigger, 0x02}, Effect{EffectType::delay, 0x08}, 60,
         {{kRowFrames / 2, d / 2, 60}, {kRowFrames / 2 + d / 2, d / 2, 60}}},
        {"pitches held to 127", Effect{EffectType::chord, 0x47}, {}, 125, {{0, d, 125}, {0, d, 127}, {0, d, 127}}},
    };
    for (const auto& c : cases) {
        auto project = songOf(4, 1);
        project.patterns[0].setCell(0, 0, noteCell(c.pitch, c.first, c.second, 4));
        const auto list = OfflineNoteRendering::events(project);
        EXPECT_EQ(placed(list), c.expected) << c.name;
        EXPECT_DOUBLE_EQ(list.length, 4 * 0.12) << c.name;
    }
}

TEST(OfflineNoteList, EventsCarryThePreparedInstrumentAndNeutralStages)
{
    auto project = songOf(2, 2);
    project.instruments[0].release = 0.3;
    project.instruments[0].pan = -0.5;
    auto locked = noteCell(62, Effect{EffectType::pan, 0xFF});
    locked.locks = {{ParameterTarget::instrumentRelease, 0.7}};
    project.patterns[0].setCell(1, 1, locked);
    project.patterns[0].setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 0, .volume = 32});

    const auto list = OfflineNoteRendering::events(project);
    ASSERT_EQ(list.events.size(), 2u);
    const auto& first = list.events[0];
    EXPECT_EQ(first.track, 0);
    EXPECT_EQ(first.volume, 0.5);
    EXPECT_EQ(first.pan, -0.5); // the instrument's pan without a pan column
    EXPECT_NEAR(first.duration, 0.3 + 0.12, 1e-12);
    const auto& second = list.events[1];
    EXPECT_EQ(second.pan, 1.0);
    EXPECT_NEAR(second.duration, 0.7 + 0.12, 1e-12); // the locked release
    EXPECT_EQ(second.locks, locked.locks);
    for (const auto& event : list.events) {
        EXPECT_EQ(event.driveAmount, 0);
        EXPECT_EQ(event.bitDepth, 16);
        EXPECT_EQ(event.delayMix, 0);
        EXPECT_EQ(event.reverbMix, 0);
    }
    EXPECT_TRUE(OfflineNoteRendering::events(songOf(8, 2)).events.empty());
}

TEST(OfflineNoteList, ChanceDropsTheSameNotesInEveryRenderIncludingOnTheFirstRow)
{
    auto project = songOf(16, 4);
    for (int row = 0; row < 16; ++row) {
        for (int track = 0; track < 4; ++track) project.patterns[0].setCell(row, track, noteCell(60, Effect{EffectType::chance, 0x00}));
    }
    // At chance 0 every note goes, the first row's included.
    EXPECT_TRUE(OfflineNoteRendering::events(project).events.empty());

    for (int row = 0; row < 16; ++row) {
        for (int track = 0; track < 4; ++track) project.patterns[0].setCell(row, track, noteCell(60, Effect{EffectType::chance, 0x80}));
    }
    const auto first = OfflineNoteRendering::events(project);
    const auto second = OfflineNoteRendering::events(project);
    EXPECT_EQ(first.events, second.events);
    EXPECT_GT(first.events.size(), 16u);
    EXPECT_LT(first.events.size(), 48u);
}

TEST(OfflineNoteList, ASlideStartsFromTheLastKeptNoteOfItsTrack)
{
    auto project = songOf(4, 2);
    const Effect slide{EffectType::slide, 0};
    project.patterns[0].setCell(0, 0, noteCell(48));
    project.patterns[0].setCell(1, 0, noteCell(60, slide));
    project.patterns[0].setCell(2, 0, noteCell(55, Effect{EffectType::chance, 0x00})); // dropped
    project.patterns[0].setCell(3, 0, noteCell(64, slide));
    project.patterns[0].setCell(0, 1, noteCell(72, slide)); // the first note of its track

    std::vector<std::pair<int, std::optional<int>>> slides;
    for (const auto& event : OfflineNoteRendering::events(project).events) slides.emplace_back(event.note, event.slideFromNote);
    const std::vector<std::pair<int, std::optional<int>>> expected{{48, std::nullopt}, {72, std::nullopt}, {60, 48}, {64, 60}};
    EXPECT_EQ(slides, expected);
}

TEST(OfflineNoteList, ADelayIsMeasuredOnTheNotesOwnRow)
{
    // At 120 bpm a row is 5,512.5 frames: rows alternate 5,513 and 5,512 long. Half of the first is 2,757.
    auto project = songOf(2, 1, 120);
    project.patterns[0].setCell(0, 0, noteCell(60, Effect{EffectType::delay, 0x08}));
    project.patterns[0].setCell(1, 0, noteCell(60, Effect{EffectType::delay, 0x08}));
    const auto list = OfflineNoteRendering::events(project);
    ASSERT_EQ(list.events.size(), 2u);
    EXPECT_EQ(std::llround(list.events[0].start * 44100), 2757);
    EXPECT_EQ(std::llround(list.events[1].start * 44100), 5513 + 2756);
}

TEST(OfflineNoteRendering, RetriggerAndDelayAreHeardWhereTheyArePlaced)
{
    // A plucked sound (no sustain) so that every strike is a separate burst.
    auto project = songOf(4, 1);
    project.instruments[0].decay = 0.02;
    project.instruments[0].sustain = 0;
    project.patterns[0].setCell(0, 0, noteCell(60, Effect{EffectType::retrigger, 0x04}, {}, 4));
    EXPECT_EQ(onsets(mixed(project, OfflineNoteRendering::events(project))).size(), 4u);

    auto delayed = songOf(4, 1);
    delayed.instruments[0] = project.instruments[0];
    delayed.patterns[0].setCell(0, 0, noteCell(60, Effect{EffectType::delay, 0x08}));
    const auto heard = onsets(mixed(delayed, OfflineNoteRendering::events(delayed)));
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], static_cast<std::size_t>(kRowFrames / 2));
}

TEST(OfflineNoteRendering, EveryNoteRendersTheSameWhenRenderedLateOrOutOfOrder)
{
    auto project = songOf(8, 2);
    project.instruments.push_back(Instrument::withFM("Bell", FMSettings{.amount = 0.6, .modulator = {.ratio = 3}}));
    for (int row = 0; row < 8; ++row) {
        project.patterns[0].setCell(row, 0, noteCell(60 + row, row % 2 ? std::optional<Effect>(Effect{EffectType::slide, 0}) : std::nullopt));
        auto bell = noteCell(72 - row, Effect{EffectType::vibrato, 0x34});
        bell.instrument = 1;
        project.patterns[0].setCell(row, 1, bell);
    }
    const auto list = OfflineNoteRendering::events(project);
    std::vector<AudioBufferRef> inOrder;
    for (const auto& event : list.events) inOrder.push_back(OfflineNoteRendering::renderEvent(event, project, list.timeline, 0.25, 35, nullptr));
    for (std::size_t i = list.events.size(); i-- > 0;) {
        const auto again = OfflineNoteRendering::renderEvent(list.events[i], project, list.timeline, 0.25, 35, nullptr);
        ASSERT_TRUE(again && inOrder[i]);
        EXPECT_EQ(channelOf(*again, 0), channelOf(*inOrder[i], 0));
        EXPECT_EQ(channelOf(*again, 1), channelOf(*inOrder[i], 1));
    }
}

TEST(OfflineNoteRendering, IdenticalNotesShareABufferAndSoundAsIfRenderedAlone)
{
    // A four-on-the-floor kick and a hat with vibrato: the kicks share one buffer, the hats do not.
    auto project = songOf(16, 2);
    for (int row = 0; row < 16; row += 4) {
        project.patterns[0].setCell(row, 0, noteCell(36));
        project.patterns[0].setCell(row + 2, 1, noteCell(80, Effect{EffectType::vibrato, 0x22}));
    }
    const auto list = OfflineNoteRendering::events(project);
    ASSERT_EQ(list.events.size(), 8u);
    RenderedNoteCache cache;
    std::vector<AudioBufferRef> shared;
    for (const auto& event : list.events) {
        shared.push_back(OfflineNoteRendering::renderEvent(event, project, list.timeline, 0.25, 35, nullptr, &cache));
    }
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(shared[0].get(), shared[2].get()); // kicks at rows 0 and 4
    EXPECT_NE(shared[1].get(), shared[3].get()); // hats
    for (std::size_t i = 0; i < list.events.size(); ++i) {
        const auto alone = OfflineNoteRendering::renderEvent(list.events[i], project, list.timeline, 0.25, 35, nullptr);
        EXPECT_EQ(channelOf(*alone, 0), channelOf(*shared[i], 0)) << i;
    }
}

TEST(OfflineNoteRendering, SynthNotesLastTheirDurationTruncated)
{
    const auto instrument = organ();
    EXPECT_EQ(OfflineNoteRendering::synth(60, Waveform::sine, instrument, 0, 1, 0, {}, std::nullopt, 0, 16)->frameLength(), 1);
    EXPECT_EQ(OfflineNoteRendering::synth(60, Waveform::sine, instrument, 0.25, 1, 0, {}, std::nullopt, 0, 16)->frameLength(), 11025);
    EXPECT_EQ(OfflineNoteRendering::synth(60, Waveform::sine, instrument, 0.25, 1, 0, {}, std::nullopt, 0, 16)->sampleRate(), 44100);
}

TEST(OfflineNoteRendering, SpatializedLengthensOnlyANoteWithSends)
{
    auto impulse = std::make_shared<AudioBuffer>(100, 44100);
    impulse->channel(0)[0] = impulse->channel(1)[0] = 1;
    EXPECT_EQ(OfflineNoteRendering::spatialized(impulse, 0, 0, 0.25, 35).get(), impulse.get());

    const auto echoed = OfflineNoteRendering::spatialized(impulse, 1, 0, 0.1, 0);
    EXPECT_EQ(echoed->frameLength(), 100 + 4410); // one echo, no feedback
    EXPECT_EQ(echoed->channel(0)[0], 0);           // fully wet: the dry impulse is not heard
    EXPECT_EQ(echoed->channel(0)[4410], 1);
}

TEST(OfflineNoteRendering, SamplesLoadFromBookmarksOrEmbeddedBytesWithTheirEdit)
{
    TemporaryFolder folder;
    const auto path = folder / "loop.wav";
    AudioFile::writeFloatWAV(path, testSignal(1000, 22050, 1));

    auto fromFile = Instrument::withBookmark("Loop", Data(bookmarkForPath(path)), "loop.wav");
    fromFile.sampleEdit = SampleEdit{.trimStart = 0.5, .reversed = true};
    const auto trimmed = OfflineNoteRendering::loadSample(fromFile);
    ASSERT_TRUE(trimmed);
    EXPECT_EQ(trimmed->frameCount(), 500);
    EXPECT_EQ(trimmed->sampleRate, 22050);
    EXPECT_EQ(trimmed->channels[0][0], testSignal(1000, 22050, 1).channels[0][999]);

    auto embedded = Instrument::withData("Loop", Data(fileBytes(path)), "loop.wav");
    embedded.sampleEdit.reset(); // the neutral edit
    const auto whole = OfflineNoteRendering::loadSample(embedded);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->frameCount(), 1000);

    EXPECT_FALSE(OfflineNoteRendering::loadSample(Instrument::withBookmark("Gone", Data(bookmarkForPath(folder / "gone.wav")), "gone.wav")));
    EXPECT_FALSE(OfflineNoteRendering::loadSample(Instrument::withData("Noise", Data(std::string_view("not audio")), "n.wav")));
    EXPECT_FALSE(OfflineNoteRendering::loadSample(organ()));
}

TEST(OfflineNoteRendering, SampleNotesFailWithTheMessageTheUserSees)
{
    auto project = songOf(4, 1);
    project.instruments[0] = Instrument::withBookmark("Kick", Data(bookmarkForPath("/nonexistent/kick.wav")), "kick.wav");
    project.patterns[0].setCell(0, 0, noteCell(60));
    const auto list = OfflineNoteRendering::events(project);
    ASSERT_EQ(list.events.size(), 1u);
    const OfflineNoteRendering::SampleProvider load = OfflineNoteRendering::loadSample;
    try {
        OfflineNoteRendering::renderEvent(list.events[0], project, list.timeline, 0.25, 35, load);
        FAIL() << "a missing sample must fail the render";
    } catch (const RenderError& error) {
        EXPECT_EQ(error.which(), RenderError::Case::sampleMissing);
        EXPECT_STREQ(error.what(), "The sample \u201Ckick.wav\u201D could not be loaded.");
    }

    // A sliced note beyond the last slice is dropped without even loading the sample.
    project.instruments[0].sampleEdit = SampleEdit{.slicePoints = std::vector<double>{0.5}};
    project.patterns[0].setCell(0, 0, noteCell(62));
    const auto sliced = OfflineNoteRendering::events(project);
    int loads = 0;
    const OfflineNoteRendering::SampleProvider counting = [&](const Instrument&) {
        ++loads;
        return std::shared_ptr<const SampleBuffer>();
    };
    EXPECT_FALSE(OfflineNoteRendering::renderEvent(sliced.events[0], project, sliced.timeline, 0.25, 35, counting));
    EXPECT_EQ(loads, 0);

    const SampleBuffer single{.sampleRate = 44100, .channels = {std::vector<float>{0.5f}}};
    try {
        OfflineNoteRendering::pitchedSample(single, 60, 1, 0, {}, std::nullopt, 1, organ(), 0, 16);
        FAIL() << "a one-frame sample cannot be played";
    } catch (const RenderError& error) {
        EXPECT_EQ(error.which(), RenderError::Case::conversionFailed);
    }
}

TEST(RenderError, EachCaseCarriesItsMessage)
{
    struct Case {
        RenderError error;
        RenderError::Case which;
        const char* message;
    };
    const Case cases[] = {
        {RenderError::sampleMissing("Snare 1.wav"), RenderError::Case::sampleMissing,
         "The sample \u201CSnare 1.wav\u201D could not be loaded."},
        {RenderError::audioUnit("mda JX10"), RenderError::Case::audioUnit,
         "The Audio Unit \u201Cmda JX10\u201D could not render offline."},
        {RenderError::tooLong(), RenderError::Case::tooLong, "The song is longer than 20 minutes. Split it before exporting."},
        {RenderError::conversionFailed(), RenderError::Case::conversionFailed, "A sample could not be converted for export."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.which(), c.which);
        EXPECT_STREQ(c.error.what(), c.message);
    }
    EXPECT_EQ(RenderError::audioUnit("mda JX10").name(), "mda JX10");
}
