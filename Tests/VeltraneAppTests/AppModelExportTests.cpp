// The export and import commands: WAV and stems rendered on a worker with progress and cancel, MIDI
// written and read back, and the import as one undo step. Files are read back with libsndfile; the MIDI
// file also with Debian's midicsv and the stems with sox where they are installed.

#include "ModelTestSupport.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <QCoreApplication>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <tuple>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

int argc = 1;
char programName[] = "VeltraneAppTests";
char* argv[] = {programName, nullptr};

/// Runs the event loop until the export reports back (at most two minutes).
void waitForExport(AppModel& model)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (model.isExporting() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(model.isExporting()) << "the export did not finish";
}

int runCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool hasProgram(const std::string& name) { return runCommand("command -v " + name + " >/dev/null 2>&1") == 0; }

float peak(const AudioFileBuffer& audio)
{
    float result = 0;
    for (const auto& channel : audio.channels) {
        for (const float sample : channel) result = std::max(result, std::abs(sample));
    }
    return result;
}

/// A short song: a note on track 0 of an 8-row pattern, nothing on the other tracks.
Project shortSong(int channels = 4)
{
    Project project;
    project.name = "Demo";
    project.patterns[0] = Pattern("Pattern 1", 8, channels);
    project.patterns[0].setCell(0, 0, Cell{.note = NotePitch{60}, .instrument = 2, .volume = 48});
    project.mixer.assign(static_cast<std::size_t>(channels), MixerTrack{});
    return project;
}

/// A song long enough that a cancel always arrives while it renders.
Project longSong()
{
    Project project = shortSong();
    project.bpm = 20;
    project.patterns[0] = Pattern("Pattern 1", 256, 4);
    for (int row = 0; row < 256; row += 4) {
        project.patterns[0].setCell(row, 0, Cell{.note = NotePitch{48 + row % 24}, .instrument = 1});
    }
    return project;
}

/// A Standard MIDI File (format 0, 480 ticks per beat) of one track with these events (each with its
/// delta time first), ended for it.
std::vector<std::uint8_t> midiFileOf(std::vector<std::uint8_t> events)
{
    for (const std::uint8_t byte : {0x00, 0xFF, 0x2F, 0x00}) events.push_back(byte);
    std::vector<std::uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const auto length = static_cast<std::uint32_t>(events.size());
    for (const int shift : {24, 16, 8, 0}) file.push_back(static_cast<std::uint8_t>(length >> shift));
    file.insert(file.end(), events.begin(), events.end());
    return file;
}

/// One beat of note `pitch` on `channel`, after a program change to `program`.
std::vector<std::uint8_t> programNote(int channel, int program, int pitch)
{
    const auto c = static_cast<std::uint8_t>(channel);
    const auto p = static_cast<std::uint8_t>(pitch);
    return {0x00, static_cast<std::uint8_t>(0xC0 | c), static_cast<std::uint8_t>(program),
            0x00, static_cast<std::uint8_t>(0x90 | c), p, 100,
            0x83, 0x60, static_cast<std::uint8_t>(0x80 | c), p, 0};
}

std::vector<std::uint8_t> concatenated(const std::vector<std::vector<std::uint8_t>>& parts)
{
    std::vector<std::uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

/// A model on `project` (clean) whose import panel answers a file holding `bytes`.
AppModel& importing(ModelHarness& harness, Project project, const std::vector<std::uint8_t>& bytes)
{
    auto& model = harness.make();
    model.setProject(std::move(project));
    writeBytes(harness.folder.path() / "in.mid", bytes);
    harness.exportDialogs->answers.push_back(harness.folder / "in.mid");
    return model;
}

std::set<std::tuple<int, int, int>> pitches(const Pattern& pattern)
{
    std::set<std::tuple<int, int, int>> found;
    for (int row = 0; row < pattern.rows; ++row) {
        for (int track = 0; track < pattern.channels; ++track) {
            if (const auto& note = pattern.cell(row, track).note) {
                if (const auto pitch = pitchOf(*note)) found.emplace(row, track, *pitch);
            }
        }
    }
    return found;
}

} // namespace

TEST(AppModelExport, AWAVExportRendersOnAWorkerAndReportsProgress)
{
    QCoreApplication app(argc, argv);
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(shortSong());
    model.setIsPlaying(true);
    const auto target = harness.folder / "out.wav";
    harness.exportDialogs->answers.push_back(target);

    model.exportWAV();
    EXPECT_EQ(harness.exportDialogs->suggestions, std::vector<std::string>{"Demo.wav"});
    EXPECT_FALSE(model.isPlaying()); // the transport stopped first
    EXPECT_TRUE(model.isExporting());
    EXPECT_EQ(model.exportMessage(), "Rendering WAV\u2026");
    // An edit made while it renders does not reach the file.
    editCell(model, 0, 0, Cell{});
    waitForExport(model);
    EXPECT_FALSE(model.error()) << *model.error();
    EXPECT_EQ(model.exportProgress(), 1.0);

    const auto audio = AudioFile::read(target);
    EXPECT_EQ(audio.sampleRate, 44100);
    EXPECT_EQ(audio.channelCount(), 2);
    EXPECT_GT(peak(audio), 0.05f);
}

TEST(AppModelExport, ACancelledExportLeavesThePreviousFileAndNoOther)
{
    QCoreApplication app(argc, argv);
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(longSong());
    const auto target = harness.folder / "out.wav";
    writeFile(target, "the previous export");
    harness.exportDialogs->answers.push_back(target);

    model.exportWAV();
    model.cancelExport();
    waitForExport(model);
    EXPECT_FALSE(model.error()); // a cancel is not a failure
    EXPECT_EQ(readFile(target), "the previous export");
    const auto names = namesIn(harness.folder.path());
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& name) { return name.find("out") != std::string::npos; }), 1)
        << ::testing::PrintToString(names);
}

TEST(AppModelExport, AFailedExportReportsWhyAndLeavesThePreviousFile)
{
    QCoreApplication app(argc, argv);
    ModelHarness harness;
    auto& model = harness.make();
    Project project = shortSong();
    project.instruments.push_back(Instrument::withBookmark(
        "Kick", Data(std::string_view("veltrane-path:/nonexistent/kick.wav")), "kick.wav"));
    project.patterns[0].setCell(2, 1, Cell{.note = NotePitch{60}, .instrument = 4});
    model.setProject(std::move(project));
    const auto target = harness.folder / "out.wav";
    writeFile(target, "the previous export");
    harness.exportDialogs->answers.push_back(target);

    model.exportWAV();
    waitForExport(model);
    ASSERT_TRUE(model.error());
    EXPECT_NE(model.error()->find("kick.wav"), std::string::npos) << *model.error();
    EXPECT_EQ(readFile(target), "the previous export");
}

TEST(AppModelExport, StemsAreOnePerTrackOfTheWidestPatternEachWithOnlyItsTrack)
{
    QCoreApplication app(argc, argv);
    ModelHarness harness;
    auto& model = harness.make();
    Project project = shortSong(1);
    project.patterns.push_back(Pattern("Four", 8, 4));
    project.patterns.push_back(Pattern("Six", 8, 6));
    project.mixer.assign(6, MixerTrack{});
    model.setProject(std::move(project));
    const auto folder = harness.folder / "stems";
    std::filesystem::create_directory(folder);
    harness.exportDialogs->answers.push_back(folder);

    model.exportStems();
    EXPECT_EQ(model.exportMessage(), "Rendering stems\u2026");
    waitForExport(model);
    EXPECT_FALSE(model.error()) << *model.error();
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"01 Track 01.wav", "02 Track 02.wav", "03 Track 03.wav",
                                                         "04 Track 04.wav", "05 Track 05.wav", "06 Track 06.wav"}));
    EXPECT_GT(peak(AudioFile::read(folder / "01 Track 01.wav")), 0.05f);
    EXPECT_EQ(peak(AudioFile::read(folder / "02 Track 02.wav")), 0.0f);
    if (hasProgram("sox")) {
        EXPECT_EQ(runCommand("sox --i '" + (folder / "06 Track 06.wav").string() + "' >/dev/null"), 0);
    }
}

TEST(AppModelExport, OneExportAtATimeAndNothingElseWhileItRuns)
{
    QCoreApplication app(argc, argv);
    ModelHarness harness;
    auto& model = harness.make();
    model.setProject(longSong());
    harness.exportDialogs->answers.push_back(harness.folder / "out.wav");
    model.exportWAV();
    ASSERT_TRUE(model.isExporting());
    const int panels = harness.exportDialogs->panels;
    model.exportWAV();
    model.exportStems();
    model.exportMIDI();
    model.importMIDIFile();
    EXPECT_EQ(harness.exportDialogs->panels, panels); // no panel was even offered
    model.cancelExport();
    waitForExport(model);
}

TEST(AppModelExport, CancelledPanelsChangeNothing)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setIsPlaying(true);
    for (int panel = 0; panel < 4; ++panel) harness.exportDialogs->answers.push_back(std::nullopt);
    const Project before = model.project();
    model.exportWAV();
    model.exportStems();
    model.exportMIDI();
    model.importMIDIFile();
    EXPECT_TRUE(model.isPlaying());
    EXPECT_FALSE(model.isExporting());
    EXPECT_EQ(model.exportMessage(), "Rendering WAV\u2026");
    EXPECT_FALSE(model.error());
    EXPECT_EQ(model.project(), before);
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelExport, AnExportedMIDIFileReadsBackWithTheSameNotes)
{
    ModelHarness harness;
    auto& model = harness.make();
    Project project = shortSong(2);
    project.patterns[0] = Pattern("Pattern 1", 16, 2);
    for (const auto& [row, track, pitch] : {std::tuple{0, 0, 60}, {4, 0, 64}, {8, 0, 67}, {2, 1, 48}}) {
        project.patterns[0].setCell(row, track, Cell{.note = NotePitch{pitch}, .instrument = 0, .volume = 64});
    }
    model.setProject(project);
    const auto file = harness.folder / "song.mid";
    harness.exportDialogs->answers.push_back(file);
    model.exportMIDI();
    EXPECT_EQ(harness.exportDialogs->suggestions, std::vector<std::string>{"Demo.mid"});
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(model.isExporting());
    if (hasProgram("midicsv")) {
        EXPECT_EQ(runCommand("midicsv '" + file.string() + "' >/dev/null"), 0);
    }

    harness.exportDialogs->answers.push_back(file);
    model.importMIDIFile();
    ASSERT_EQ(model.project().patterns.size(), 2u);
    EXPECT_EQ(pitches(model.project().patterns[1]), pitches(project.patterns[0]));
}

TEST(AppModelExport, AnImportAddsAnInstrumentPerProgramAndPlaysAtTheSongsEnd)
{
    ModelHarness harness;
    Project project;
    project.instruments.resize(5);
    project.addPattern();
    project.arrangement.reset();
    project.order = {0, 0, 1};
    auto& model = importing(harness, project,
                            midiFileOf(concatenated({programNote(0, 33, 64), programNote(1, 0, 60)})));
    model.select(3, 2, std::nullopt, false);

    model.importMIDIFile();
    ASSERT_FALSE(model.error()) << *model.error();
    const auto& now = model.project();
    ASSERT_EQ(now.instruments.size(), 7u);
    EXPECT_EQ(now.instruments[5].name, "MIDI Program 0");
    EXPECT_EQ(now.instruments[5].source, InstrumentSource{SynthSource{Waveform::sine}});
    EXPECT_EQ(now.instruments[6].name, "MIDI Program 33");
    EXPECT_EQ(now.instruments[6].source, InstrumentSource{SynthSource{Waveform::triangle}});
    ASSERT_EQ(now.patterns.size(), 3u);
    std::set<int> used;
    for (int row = 0; row < now.patterns[2].rows; ++row) {
        for (int track = 0; track < now.patterns[2].channels; ++track) {
            if (const auto instrument = now.patterns[2].cell(row, track).instrument) used.insert(*instrument);
        }
    }
    EXPECT_EQ(used, (std::set<int>{5, 6}));

    ASSERT_TRUE(now.arrangement);
    std::vector<int> blocks;
    for (const auto& block : now.arrangement->blocks) blocks.push_back(block.pattern);
    EXPECT_EQ(blocks, (std::vector<int>{0, 0, 1, 2}));
    EXPECT_EQ(now.order, (std::vector<int>{0, 0, 1, 2}));
    EXPECT_EQ(model.patternIndex(), 2);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.selectedTrack(), 0);

    EXPECT_EQ(model.undoStack().size(), 1u);
    model.undo();
    EXPECT_EQ(model.project(), project);
}

TEST(AppModelExport, AnImportWidensANarrowMixerOnly)
{
    std::vector<std::vector<std::uint8_t>> notes;
    for (int channel = 0; channel < 10; ++channel) notes.push_back(programNote(channel, 1, 60 + channel));
    for (const auto& [mixer, expected] : {std::pair{8u, 10u}, std::pair{12u, 12u}}) {
        ModelHarness harness;
        Project project;
        project.mixer.assign(mixer, MixerTrack{.volume = 0.5});
        auto& model = importing(harness, project, midiFileOf(concatenated(notes)));
        model.importMIDIFile();
        ASSERT_FALSE(model.error()) << *model.error();
        ASSERT_EQ(model.project().patterns.back().channels, 10);
        ASSERT_EQ(model.project().mixer.size(), expected);
        EXPECT_EQ(model.project().mixer[0].volume, 0.5);
        EXPECT_EQ(model.project().mixer.back(), expected > mixer ? MixerTrack{} : MixerTrack{.volume = 0.5});
    }
}

TEST(AppModelExport, AMalformedMIDIFileIsReportedAndChangesNothing)
{
    ModelHarness harness;
    auto& model = importing(harness, Project{}, {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
    const Project before = model.project();
    model.importMIDIFile();
    EXPECT_EQ(model.error(), "This is not a valid Standard MIDI File.");
    EXPECT_EQ(model.project(), before);
    EXPECT_FALSE(model.canUndo());
}
