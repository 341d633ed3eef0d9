// Files the writer produces, read back by our own reader and by Debian's midicsv and python3-mido.

#include "MIDIFileTestSupport.hpp"

#include "VeltraneCore/MIDIExport/MIDIExport.hpp"
#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

// Two used channels of three, program changes, volumes, and notes that end where others begin.
Project smallSong(double bpm)
{
    return songOf({patternOf(16, 3,
                             {{0, 0, gatedNote(60, 1, 2, 64)},
                              {4, 0, gatedNote(62, 1, 1)},
                              {8, 0, gatedNote(64, 3, 4, 32)},
                              {2, 2, gatedNote(36, 0, 1, 16)},
                              {6, 2, gatedNote(38, 2, 8)}})},
                  {{0, 1}}, bpm);
}

// A private folder for files the tests hand to other programs, removed afterwards.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "veltrane-midi-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::filesystem::path writeFile(const TemporaryFolder& folder, const Data& bytes)
{
    const auto path = folder.path() / "song.mid";
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult run(const std::string& command)
{
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    while (std::size_t count = fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, count);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool hasProgram(const std::string& name) { return run("command -v " + name + " >/dev/null 2>&1").status == 0; }

// Debian's own interpreter, where python3-mido is installed (not one a user put first on the PATH).
constexpr const char* debianPython = "/usr/bin/python3";

bool hasMido() { return access(debianPython, X_OK) == 0 && run(std::string(debianPython) + " -c 'import mido' 2>/dev/null").status == 0; }

} // namespace

TEST(MIDIFileRoundTrip, AWrittenSongReadsBackAsItsNotesAndReleases)
{
    const ImportedMIDI imported = importMIDI(midiFile(smallSong(120), 480), 4);
    EXPECT_EQ(imported.bpm, 120);

    // MIDI channels 0 and 2 become columns 0 and 1; every note's end is a release on the row it ends,
    // and each cell carries the program (the instrument index) of its channel at that moment.
    const auto off = [](int program) { return Cell{.note = NoteOff{}, .instrument = program}; };
    const auto on = [](int pitch, int program, std::uint8_t volume) {
        return Cell{.note = NotePitch{pitch}, .instrument = program, .volume = volume};
    };
    Pattern expected("Imported MIDI", 15, 2);
    expected.setCell(0, 0, on(60, 1, 64));
    expected.setCell(2, 0, off(1));
    expected.setCell(4, 0, on(62, 1, 64));
    expected.setCell(5, 0, off(1));
    expected.setCell(8, 0, on(64, 3, 32));
    expected.setCell(12, 0, off(3));
    expected.setCell(2, 1, on(36, 0, 16));
    expected.setCell(3, 1, off(0));
    expected.setCell(6, 1, on(38, 2, 64));
    expected.setCell(14, 1, off(2));
    expected.id = imported.pattern.id;
    EXPECT_EQ(imported.pattern, expected);
}

TEST(MIDIFileRoundTrip, TheTempoComesBackToWithinTheRoundingOfItsMicroseconds)
{
    for (double bpm : {20.0, 97.5, 124.0, 133.33, 400.0}) {
        const double read = importMIDI(midiFile(smallSong(bpm), 480), 4).bpm;
        EXPECT_NEAR(read, bpm, bpm * bpm / 60000000.0) << bpm;
    }
}

TEST(MIDIFileRealReaders, MidicsvListsTheWrittenEvents)
{
    if (!hasProgram("midicsv")) GTEST_SKIP() << "midicsv is not installed (Debian package midicsv)";
    TemporaryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const auto path = writeFile(folder, midiFile(smallSong(124), 480));

    const auto listed = run("midicsv '" + path.string() + "'");
    ASSERT_EQ(listed.status, 0) << listed.output;
    // Rows are 120 ticks; the empty pattern channel 1 is a track of its own.
    EXPECT_EQ(listed.output,
              "0, 0, Header, 1, 4, 480\n"
              "1, 0, Start_track\n"
              "1, 0, Tempo, 483871\n"
              "1, 0, End_track\n"
              "2, 0, Start_track\n"
              "2, 0, Program_c, 0, 1\n"
              "2, 0, Note_on_c, 0, 60, 127\n"
              "2, 240, Note_off_c, 0, 60, 0\n"
              "2, 480, Note_on_c, 0, 62, 127\n"
              "2, 600, Note_off_c, 0, 62, 0\n"
              "2, 960, Program_c, 0, 3\n"
              "2, 960, Note_on_c, 0, 64, 64\n"
              "2, 1440, Note_off_c, 0, 64, 0\n"
              "2, 1440, End_track\n"
              "3, 0, Start_track\n"
              "3, 0, End_track\n"
              "4, 0, Start_track\n"
              "4, 240, Program_c, 2, 0\n"
              "4, 240, Note_on_c, 2, 36, 32\n"
              "4, 360, Note_off_c, 2, 36, 0\n"
              "4, 720, Program_c, 2, 2\n"
              "4, 720, Note_on_c, 2, 38, 127\n"
              "4, 1680, Note_off_c, 2, 38, 0\n"
              "4, 1680, End_track\n"
              "0, 0, End_of_file\n");
}

TEST(MIDIFileRealReaders, MidoReadsTheWrittenEvents)
{
    if (!hasMido()) GTEST_SKIP() << "python3-mido is not installed for " << debianPython << " (Debian package python3-mido)";
    TemporaryFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const auto path = writeFile(folder, midiFile(smallSong(124), 480));

    // mido refuses data bytes out of range and checks the chunk lengths; it lists each track's messages
    // at their absolute ticks.
    const std::string script =
        "import sys, mido\n"
        "m = mido.MidiFile(sys.argv[1])\n"
        "print(m.type, m.ticks_per_beat, len(m.tracks))\n"
        "for i, track in enumerate(m.tracks):\n"
        "    tick = 0\n"
        "    for msg in track:\n"
        "        tick += msg.time\n"
        "        d = msg.dict(); d.pop('time'); kind = d.pop('type')\n"
        "        print(i, tick, kind, *[f'{k}={d[k]}' for k in sorted(d)])\n";
    const auto scriptPath = folder.path() / "list.py";
    std::ofstream(scriptPath) << script;

    const auto listed = run(std::string(debianPython) + " '" + scriptPath.string() + "' '" + path.string() + "' 2>&1");
    ASSERT_EQ(listed.status, 0) << listed.output;
    EXPECT_EQ(listed.output,
              "1 480 4\n"
              "0 0 set_tempo tempo=483871\n"
              "0 0 end_of_track\n"
              "1 0 program_change channel=0 program=1\n"
              "1 0 note_on channel=0 note=60 velocity=127\n"
              "1 240 note_off channel=0 note=60 velocity=0\n"
              "1 480 note_on channel=0 note=62 velocity=127\n"
              "1 600 note_off channel=0 note=62 velocity=0\n"
              "1 960 program_change channel=0 program=3\n"
              "1 960 note_on channel=0 note=64 velocity=64\n"
              "1 1440 note_off channel=0 note=64 velocity=0\n"
              "1 1440 end_of_track\n"
              "2 0 end_of_track\n"
              "3 240 program_change channel=2 program=0\n"
              "3 240 note_on channel=2 note=36 velocity=32\n"
              "3 360 note_off channel=2 note=36 velocity=0\n"
              "3 720 program_change channel=2 program=2\n"
              "3 720 note_on channel=2 note=38 velocity=127\n"
              "3 1680 note_off channel=2 note=38 velocity=0\n"
              "3 1680 end_of_track\n");

    // mido's own length of the song: 1680 ticks at 483,871 µs a quarter.
    const auto length = run(std::string(debianPython) + " -c 'import sys, mido; print(round(mido.MidiFile(sys.argv[1]).length, 6))' '" +
                            path.string() + "'");
    ASSERT_EQ(length.status, 0) << length.output;
    EXPECT_NEAR(std::stod(length.output), 1680.0 / 480 * 0.483871, 1e-6);
}
