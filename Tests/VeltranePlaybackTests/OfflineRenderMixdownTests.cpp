#include "AllocationCounter.hpp"
#include "OfflineRenderTestSupport.hpp"

#include "VeltranePlayback/OfflineRender/OfflineNoteScheduler.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltranePlatform/Files/AtomicFileWriter.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Three tracks, each with its own sound: a low saw, a square an octave and a half up, a high sine.
Project threeTrackSong()
{
    Project project = smallSong(8, 3);
    Pattern& pattern = project.patterns.front();
    pattern.setCell(0, 0, note(45, 2, 4.0));
    pattern.setCell(2, 1, note(64, 3, 3.0));
    pattern.setCell(4, 2, note(81, 0, 2.0));
    return project;
}

// The same song with only the tracks in `kept` left in the pattern and every strip plain.
Project onlyTracks(Project project, std::initializer_list<int> kept)
{
    Pattern& pattern = project.patterns.front();
    for (int track = 0; track < pattern.channels; ++track) {
        if (std::find(kept.begin(), kept.end(), track) != kept.end()) continue;
        for (int row = 0; row < pattern.rows; ++row) pattern.setCell(row, track, Cell{});
    }
    project.mixer = std::vector<MixerTrack>(project.mixer.size());
    return project;
}

RenderedFile render(const Project& project, std::optional<int> soloTrack = std::nullopt)
{
    TemporaryFolder folder;
    return renderAndRead(project, folder, soloTrack);
}

} // namespace

TEST(OfflineRenderMixdown, EachFailureEndsTheRenderWithItsMessageAndLeavesTheEarlierFileAlone)
{
    TemporaryFolder folder;
    // A sample of one frame cannot be played at any pitch.
    writeWithLibsndfile(folder / "one-frame.wav", testSignal(1), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto oneFrame = fileBytes(folder / "one-frame.wav");
    std::filesystem::remove(folder / "one-frame.wav");

    const auto withInstrument = [](Instrument instrument) {
        Project project = smallSong(4, 1);
        project.instruments.push_back(std::move(instrument));
        project.patterns.front().setCell(0, 0, note(60, 4));
        return project;
    };
    const auto withInsert = [](bool onMaster) {
        Project project = smallSong(4, 1);
        const AudioUnitSlot slot{.reference = {.name = "missing"}};
        if (onMaster) {
            project.masterFX->audioUnits = std::vector<AudioUnitSlot>{slot};
        } else {
            project.mixer[0].audioUnits = std::vector<AudioUnitSlot>{slot};
        }
        return project;
    };
    Project tooLong = smallSong(256, 1);
    tooLong.arrangement->blocks.front().repeats = 38; // 9,728 rows of 0.125 s: 1,216 s

    const struct {
        const char* what;
        Project project;
        RenderError::Case which;
        std::string message;
    } cases[] = {
        {"a song over 20 minutes", tooLong, RenderError::Case::tooLong,
         "The song is longer than 20 minutes. Split it before exporting."},
        {"a sample file that is gone",
         withInstrument(Instrument::withBookmark("Gone", Data(bookmarkForPath(folder / "gone.wav")), "gone.wav")),
         RenderError::Case::sampleMissing, "The sample \u201Cgone.wav\u201D could not be loaded."},
        {"a sample too short to play", withInstrument(Instrument::withData("Click", Data(oneFrame), "click.wav")),
         RenderError::Case::conversionFailed, "A sample could not be converted for export."},
        {"an instrument plug-in that is not there",
         withInstrument(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "missing"}, std::nullopt)),
         RenderError::Case::audioUnit, "The Audio Unit \u201Cmissing\u201D could not render offline."},
        {"a track insert that is not there", withInsert(false), RenderError::Case::audioUnit,
         "The Audio Unit \u201Cmissing\u201D could not render offline."},
        {"a master insert that is not there", withInsert(true), RenderError::Case::audioUnit,
         "The Audio Unit \u201Cmissing\u201D could not render offline."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(folder / "mix.wav", {1, 2, 3});
        OfflineRenderer renderer(std::make_shared<RecordingUnits>());
        try {
            renderer.render(c.project, folder / "mix.wav");
            ADD_FAILURE() << "the render succeeded";
        } catch (const RenderError& error) {
            EXPECT_EQ(error.which(), c.which);
            EXPECT_EQ(std::string(error.what()), c.message);
        }
        EXPECT_EQ(fileBytes(folder / "mix.wav"), (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"mix.wav"}) << "no partial file is left";
    }
}

TEST(OfflineRenderMixdown, ASongOfExactlyTwentyMinutesPassesTheLimit)
{
    Project project = smallSong(240, 1);
    project.arrangement->blocks.front().repeats = 40; // 9,600 rows of 0.125 s
    TemporaryFolder folder;
    OfflineRenderer renderer(std::make_shared<RecordingUnits>());
    // Aimed at a folder that does not exist, the render gets past the limit and stops at the file.
    EXPECT_THROW(renderer.render(project, folder / "missing" / "long.wav"), FileWriteError);
    project.arrangement->blocks.push_back(SongBlock{.pattern = 0, .repeats = 1});
    EXPECT_THROW(renderer.render(project, folder / "missing" / "long.wav"), RenderError);
}

TEST(OfflineRenderMixdown, ATargetThatCannotBeWrittenIsRefusedByNameBeforeAnythingIsBuilt)
{
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "Stems");
    Project project = smallSong(8, 1);
    project.masterFX->audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{.reference = {.name = "Delay"}}};
    struct Target { std::filesystem::path path; FileWriteError::Case expected; std::string named; };
    const Target targets[] = {
        {folder / "Stems", FileWriteError::Case::isFolder, "\u201CStems\u201D is a folder"},
        {folder.path().string() + "/Stems/", FileWriteError::Case::isFolder, "\u201CStems\u201D is a folder"},
        {"", FileWriteError::Case::noName, "no file name was given"},
        {folder / "gone" / "Song.wav", FileWriteError::Case::folderMissing, "\u201CSong.wav\u201D"},
    };
    for (const auto& target : targets) {
        auto units = std::make_shared<RecordingUnits>();
        OfflineRenderer renderer(units);
        try {
            renderer.render(project, target.path);
            ADD_FAILURE() << target.path << " was written";
        } catch (const FileWriteError& error) {
            EXPECT_EQ(error.which(), target.expected) << error.what();
            EXPECT_NE(std::string(error.what()).find(target.named), std::string::npos) << error.what();
        }
        EXPECT_TRUE(units->effects.empty()) << target.path << ": the master chain was built before the check";
    }
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Stems"});
    EXPECT_TRUE(std::filesystem::is_empty(folder / "Stems"));
}

TEST(OfflineRenderMixdown, SilenceThroughTheNeutralMasterChainIsSilenceBitForBit)
{
    const RenderedFile file = render(smallSong(8, 2));
    EXPECT_EQ(file.frames, (1 + 3) * 44100) << "one second of song and three of tail";
    EXPECT_TRUE(std::all_of(file.left.begin(), file.left.end(), [](float s) { return s == 0.0f; }));
    EXPECT_TRUE(std::all_of(file.right.begin(), file.right.end(), [](float s) { return s == 0.0f; }));
}

TEST(OfflineRenderMixdown, ASoloTrackRenderHoldsThatTrackAloneEvenWhenItIsMuted)
{
    Project project = threeTrackSong();
    project.mixer[1].muted = true;
    project.mixer[0].solo = true;
    const RenderedFile stem = render(project, 1);
    const RenderedFile alone = render(onlyTracks(threeTrackSong(), {1}));
    EXPECT_GT(alone.peak(), 0.01f);
    EXPECT_TRUE(stem.sameSamples(alone));
}

TEST(OfflineRenderMixdown, MuteAndSoloDecideWhichTracksAreHeard)
{
    const struct {
        const char* what;
        std::function<void(Project&)> change;
        std::initializer_list<int> heard;
    } cases[] = {
        {"a muted track stays silent under a volume lane",
         [](Project& p) {
             p.mixer[1].muted = true;
             p.patterns.front().setCell(3, 1, Cell{.locks = {{ParameterTarget::trackVolume, 1.0}}});
         },
         {0, 2}},
        {"one soloed track silences the others", [](Project& p) { p.mixer[2].solo = true; }, {2}},
        {"two soloed tracks", [](Project& p) { p.mixer[0].solo = p.mixer[2].solo = true; }, {0, 2}},
        {"a soloed track that is muted stays silent, and so do the others",
         [](Project& p) { p.mixer[0].solo = p.mixer[0].muted = true; },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Project project = threeTrackSong();
        c.change(project);
        EXPECT_TRUE(render(project).sameSamples(render(onlyTracks(threeTrackSong(), c.heard))));
    }
}

TEST(OfflineRenderMixdown, TracksBeyondTheMixerPlayThroughTheDefaultStrip)
{
    Project shortMixer = threeTrackSong();
    shortMixer.mixer.resize(1);
    EXPECT_TRUE(render(shortMixer).sameSamples(render(threeTrackSong())));
}

TEST(OfflineRenderMixdown, TheFileRunsPastTheLastSoundAndAtLeastThreeSecondsPastTheSong)
{
    // Ten seconds of song: 80 rows of 0.125 s.
    Project project = smallSong(80, 2);
    project.instruments[0].release = 2;
    project.patterns.front().setCell(79, 0, note(60, 0)); // sounds until 12 s, inside the 3-second tail
    EXPECT_EQ(render(project).frames, 573300);

    // A hosted note is given 3 s for its release after its note-off, here at the song's end.
    project.instruments.push_back(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt));
    project.patterns.front().setCell(76, 1, note(60, 4, 4.0));
    EXPECT_EQ(render(project).frames, 441000 + 132300 + 4410);

    // A long release past the tail stretches the file to 0.1 s after the sound ends.
    Project longRelease = smallSong(8, 1);
    longRelease.instruments[0].release = 2;
    longRelease.instruments[0].attack = 0;
    longRelease.bpm = 480; // 8 rows of 0.03125 s
    longRelease.patterns.front().setCell(7, 0, note(60, 0, std::nullopt));
    const RenderedFile file = render(longRelease);
    // The note starts at 0.21875 s and lasts its row plus the 2-second release.
    const std::int64_t start = static_cast<std::int64_t>(0.21875 * 44100);
    const std::int64_t length = static_cast<std::int64_t>((2 + 0.03125) * 44100);
    EXPECT_EQ(file.frames, std::max<std::int64_t>(start + length + 4410, static_cast<std::int64_t>((0.25 + 3) * 44100)));
}

TEST(OfflineRenderMixdown, NotesRenderedWhenNeededGiveTheSameFileAsNotesRenderedFirst)
{
    Project project = threeTrackSong();
    Pattern& pattern = project.patterns.front();
    pattern.setCell(1, 0, Cell{.note = NotePitch{52}, .instrument = 1, .effects = {Effect{EffectType::retrigger, 0x03}, std::nullopt}});
    pattern.setCell(5, 1, Cell{.note = NotePitch{60}, .instrument = 2, .effects = {Effect{EffectType::arpeggio, 0x47}, std::nullopt}});
    pattern.setCell(6, 2, Cell{.note = NotePitch{67}, .instrument = 0, .effects = {Effect{EffectType::delay, 0x08}, Effect{EffectType::vibrato, 0x44}}});
    pattern.setCell(7, 0, note(45, 2)); // the same note as row 0's: shared from the cache
    project.instruments.push_back(Instrument::withAudioUnit("Synth", AudioUnitReference{.name = "Synth"}, std::nullopt));
    pattern.setCell(3, 2, note(72, 4, 2.0));
    project.modulation->sources.push_back(ModulationSource{.kind = ModulationSourceKind::lfo, .rateBeats = 0.25});
    project.modulation->routes.push_back(ModulationRoute{.sourceID = project.modulation->sources.back().id,
                                                         .target = ParameterTarget::instrumentPan, .amount = 0.5, .track = 1});
    project.modulation->routes.push_back(ModulationRoute{.sourceID = project.modulation->sources.back().id,
                                                         .target = ParameterTarget::trackCutoff, .amount = -0.3, .track = 0});

    TemporaryFolder folder;
    for (const auto mode : {OfflineRenderer::NoteRendering::whenNeeded, OfflineRenderer::NoteRendering::allBeforeTheFirstBlock}) {
        OfflineRenderer renderer(std::make_shared<RecordingUnits>());
        renderer.noteRendering = mode;
        renderer.render(project, folder / (mode == OfflineRenderer::NoteRendering::whenNeeded ? "lazy.wav" : "first.wav"));
    }
    EXPECT_GT(readRendered(folder / "lazy.wav").peak(), 0.01f);
    EXPECT_EQ(fileBytes(folder / "lazy.wav"), fileBytes(folder / "first.wav"));
}

TEST(OfflineRenderMixdown, TheSchedulerTakesOnlyTheNotesThatStartBeforeTheBlock)
{
    const Project project = threeTrackSong(); // notes at rows 0, 2 and 4: frames 0, 11025 and 22050
    const RenderEventList list = OfflineNoteRendering::events(project);
    RecordingUnits units;
    OfflineMixdownGraph mixdown(project, list.timeline, std::nullopt, units);
    OfflineNoteScheduler notes(project, list, mixdown, units);

    notes.scheduleBefore(256);
    EXPECT_EQ(notes.takenCount(), 1u);
    EXPECT_FALSE(notes.finished());
    notes.scheduleBefore(11025);
    EXPECT_EQ(notes.takenCount(), 1u);
    notes.scheduleBefore(11026);
    EXPECT_EQ(notes.takenCount(), 2u);
    notes.scheduleBefore(22051);
    EXPECT_TRUE(notes.finished());
}

TEST(OfflineRender, AnEndlessSongIsRefusedBeforeAnyOfItIsListed)
{
    // 2,500 blocks of 64 passes of a 256-row pattern, a note with a lock on every row: a few hundred
    // kilobytes as a file, 41 million rows and notes if it were listed. Refused from its length alone,
    // with a handful of allocations rather than one per row or note.
    Project endless = smallSong(256, 1);
    for (int row = 0; row < 256; ++row) {
        Cell cell = note(60, 0);
        cell.locks = {{ParameterTarget::instrumentCutoff, 1000.0 + row}};
        endless.patterns.front().setCell(row, 0, cell);
    }
    endless.arrangement->blocks.assign(2500, SongBlock{.pattern = 0, .repeats = 64});
    endless.order.assign(2500 * 64, 0);

    TemporaryFolder folder;
    OfflineRenderer renderer(std::make_shared<RecordingUnits>());
    std::int64_t allocations = 0;
    try {
        const AllocationCounter counter;
        try {
            renderer.render(endless, folder / "mix.wav");
        } catch (...) {
            allocations = counter.count();
            throw;
        }
        ADD_FAILURE() << "the render succeeded";
    } catch (const RenderError& error) {
        EXPECT_EQ(error.which(), RenderError::Case::tooLong);
        EXPECT_EQ(std::string(error.what()), "The song is longer than 20 minutes. Split it before exporting.");
    }
    EXPECT_LT(allocations, 100);
    EXPECT_TRUE(namesIn(folder.path()).empty());
}
