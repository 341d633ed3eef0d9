#include "MIDIFileTestSupport.hpp"

#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Cell noteCell(int pitch, int instrument, std::optional<std::uint8_t> volume)
{
    return Cell{.note = NotePitch{pitch}, .instrument = instrument, .volume = volume};
}

Cell offCell(int instrument) { return Cell{.note = NoteOff{}, .instrument = instrument}; }

// Every cell of the pattern that is not listed must be empty.
void expectOnlyCells(const Pattern& pattern, const std::vector<std::tuple<int, int, Cell>>& expected)
{
    for (int row = 0; row < pattern.rows; ++row) {
        for (int column = 0; column < pattern.channels; ++column) {
            const Cell* want = nullptr;
            for (const auto& [r, c, cell] : expected) {
                if (r == row && c == column) want = &cell;
            }
            if (want) {
                EXPECT_EQ(pattern.cell(row, column), *want) << "row " << row << " column " << column;
            } else {
                EXPECT_TRUE(pattern.cell(row, column).isEmpty()) << "row " << row << " column " << column;
            }
        }
    }
}

} // namespace

TEST(MIDIImport, ReadsANoteAndItsReleaseIntoCells)
{
    const auto file = midiFileBytes(0, 96, {"00 90 3C 64  60 80 3C 00  00 FF 2F 00"});
    const ImportedMIDI imported = importMIDI(file, 4);

    EXPECT_EQ(imported.bpm, 120);
    EXPECT_EQ(imported.pattern.name, "Imported MIDI");
    EXPECT_EQ(imported.pattern.rows, 5);
    EXPECT_EQ(imported.pattern.channels, 1);
    EXPECT_TRUE(imported.pattern.hasConsistentGrid());
    expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 50)}, {4, 0, offCell(0)}});

    // Each import is a new pattern with its own identifier.
    EXPECT_NE(importMIDI(file, 4).pattern.id, imported.pattern.id);
}

TEST(MIDIImport, ARowIsTheNearestRowWithHalvesRoundedUp)
{
    struct Case {
        int division;
        int releaseTick;
        int noteOffRow; // -1: the release lands on the note's row and is dropped
        int rows;
    };
    const Case cases[] = {
        {96, 96, 4, 5},
        {96, 12, 1, 2},  // row 0.5
        {96, 10, -1, 1}, // row 0.42
        {96, 11, -1, 1},
        {96, 13, 1, 2},
        // Fewer ticks per quarter than rows per beat: one tick spans several rows.
        {1, 1, 4, 5},
        {2, 1, 2, 3},
        {3, 1, 1, 2},    // row 1.33
        {3, 2, 3, 4},    // row 2.67
        {8, 1, 1, 2},    // row 0.5
        {7, 3, 2, 3},    // row 1.71
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("division " + std::to_string(c.division) + ", release at tick " + std::to_string(c.releaseTick));
        Bytes events = hex("00 90 3C 7F");
        events.push_back(static_cast<std::uint8_t>(c.releaseTick));
        const auto file = midiFileBytes(0, c.division, {hexString(events) + " 80 3C 00"});
        const ImportedMIDI imported = importMIDI(file, 4);
        EXPECT_EQ(imported.pattern.rows, c.rows);
        if (c.noteOffRow < 0) {
            expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 64)}});
        } else {
            expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 64)}, {c.noteOffRow, 0, offCell(0)}});
        }
    }
}

TEST(MIDIImport, VelocityBecomesCellVolume)
{
    const std::pair<std::string, std::optional<std::uint8_t>> cases[] = {
        {"7F", 64}, {"64", 50}, {"40", 32}, {"02", 1}, {"01", std::nullopt},
    };
    for (const auto& [velocity, volume] : cases) {
        SCOPED_TRACE("velocity " + velocity);
        const auto imported = importMIDI(midiFileBytes(0, 96, {"00 90 3C " + velocity}), 4);
        expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, volume)}});
    }

    // A note-on of velocity 0 is a release.
    const auto released = importMIDI(midiFileBytes(0, 96, {"00 90 3C 64  60 90 3C 00"}), 4);
    expectOnlyCells(released.pattern, {{0, 0, noteCell(60, 0, 50)}, {4, 0, offCell(0)}});
}

TEST(MIDIImport, RunningStatusCarriesAcrossMetaAndSystemExclusiveEvents)
{
    const auto meta = importMIDI(midiFileBytes(0, 96, {"00 90 3C 40  00 FF 01 00  18 3E 40"}), 4);
    expectOnlyCells(meta.pattern, {{0, 0, noteCell(60, 0, 32)}, {1, 0, noteCell(62, 0, 32)}});

    const auto sysex = importMIDI(midiFileBytes(0, 96, {"00 91 3C 40  00 F0 03 7E 01 F7  18 3E 40"}), 4);
    expectOnlyCells(sysex.pattern, {{0, 0, noteCell(60, 0, 32)}, {1, 0, noteCell(62, 0, 32)}});

    // A controller sets a new running status of its own: the bytes after it are controller data.
    const auto controller = importMIDI(midiFileBytes(0, 96, {"00 90 3C 40  00 B0 07 64  00 0A 40  18 90 3E 40"}), 4);
    expectOnlyCells(controller.pattern, {{0, 0, noteCell(60, 0, 32)}, {1, 0, noteCell(62, 0, 32)}});
}

TEST(MIDIImport, DropsEverythingButNotesProgramsAndTempo)
{
    // Polyphonic pressure, controller, channel pressure, pitch bend, song position, sysex, text and
    // time signature around a single note.
    const auto imported = importMIDI(
        midiFileBytes(0, 96,
                      {"00 A0 3C 10  00 B0 07 64  00 D0 20  00 E0 00 40  00 F2 00 00  00 F7 02 01 02"
                       "  00 FF 03 04 4C 65 61 64  00 FF 58 04 04 02 18 08  00 90 3C 7F  00 FF 2F 00"}),
        4);
    EXPECT_EQ(imported.pattern.rows, 1);
    expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 64)}});
}

TEST(MIDIImport, TheLastSetTempoOfTheFileWins)
{
    const auto oneTrack = importMIDI(midiFileBytes(0, 96, {"00 FF 51 03 06 1A 80  00 FF 51 03 09 27 C0  00 90 3C 40"}), 4);
    EXPECT_EQ(oneTrack.bpm, 100);

    const auto twoTracks =
        importMIDI(midiFileBytes(1, 96, {"00 FF 51 03 09 27 C0", "00 90 3C 40  00 FF 51 03 06 1A 80"}), 4);
    EXPECT_EQ(twoTracks.bpm, 150);

    // A Set Tempo of another length is not a tempo.
    const auto odd = importMIDI(midiFileBytes(0, 96, {"00 FF 51 04 06 1A 80 00  00 90 3C 40"}), 4);
    EXPECT_EQ(odd.bpm, 120);
}

TEST(MIDIImport, ImportedTempoStaysInsideTheProjectRange)
{
    const std::pair<std::string, double> cases[] = {
        {"00 00 00", 400},   // no time at all per quarter: as fast as a project may go
        {"00 00 01", 400},
        {"02 25 51", 400},   // 140,625 µs is 426.7 bpm
        {"02 49 F0", 400},   // exactly 400
        {"2D C6 C0", 20},    // exactly 20
        {"2D C6 C1", 20},
        {"FF FF FF", 20},    // 3.58 bpm
        {"07 A1 20", 120},
    };
    for (const auto& [tempo, bpm] : cases) {
        SCOPED_TRACE("tempo " + tempo);
        const auto imported = importMIDI(midiFileBytes(0, 96, {"00 FF 51 03 " + tempo + "  00 90 3C 40"}), 4);
        EXPECT_EQ(imported.bpm, bpm);
    }
}

TEST(MIDIImport, ProgramsBelongToTheirChannelAndTrack)
{
    const auto imported = importMIDI(midiFileBytes(1, 96,
                                                   {"00 C1 21  00 91 3C 40  00 90 40 40  60 81 3C 00",
                                                    "30 91 3E 40  00 C1 05  18 91 41 40"}),
                                     4);
    ASSERT_EQ(imported.pattern.channels, 2);
    expectOnlyCells(imported.pattern, {
                                          {0, 0, noteCell(64, 0, 32)},
                                          {0, 1, noteCell(60, 33, 32)},
                                          {4, 1, offCell(33)},
                                          {2, 1, noteCell(62, 0, 32)}, // a new track starts with program 0
                                          {3, 1, noteCell(65, 5, 32)},
                                      });
}

TEST(MIDIImport, UsedChannelsBecomeColumnsInChannelOrder)
{
    const auto imported = importMIDI(midiFileBytes(0, 96, {"00 99 24 7F  00 90 3C 7F  18 89 24 00"}), 4);
    ASSERT_EQ(imported.pattern.channels, 2);
    expectOnlyCells(imported.pattern,
                    {{0, 0, noteCell(60, 0, 64)}, {0, 1, noteCell(36, 0, 64)}, {1, 1, offCell(0)}});

    std::string events;
    for (int channel = 15; channel >= 0; --channel) {
        events += "00 ";
        events += hexString({static_cast<std::uint8_t>(0x90 + channel)});
        events += " 3C 7F ";
    }
    const auto sixteen = importMIDI(midiFileBytes(0, 96, {events}), 4);
    EXPECT_EQ(sixteen.pattern.channels, 16);
    EXPECT_EQ(sixteen.pattern.rows, 1);
}

TEST(MIDIImport, LaterEventsOnACellReplaceEarlierOnes)
{
    // A chord on one channel keeps its last note; a release onto a sounding note is dropped, and a
    // release into a free cell is written.
    const auto imported = importMIDI(
        midiFileBytes(1, 96, {"00 90 3C 40  00 90 40 50  00 90 43 7F  00 80 3C 00", "30 80 40 00  00 80 43 00"}), 4);
    expectOnlyCells(imported.pattern, {{0, 0, noteCell(67, 0, 64)}, {2, 0, offCell(0)}});
}

TEST(MIDIImport, NotesBeyondTheLastRowPileUpOnIt)
{
    // Tick 7200 at 96 ticks per quarter is row 300.
    const auto imported = importMIDI(midiFileBytes(0, 96, {"00 90 3C 40  B8 20 90 3E 40"}), 4);
    EXPECT_EQ(imported.pattern.rows, 256);
    expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 32)}, {255, 0, noteCell(62, 0, 32)}});
}

TEST(MIDIImport, HeaderExtrasAndTrailingBytesAreSkipped)
{
    // A header of length 8 with two extra bytes, then one track, then bytes no track count covers.
    Bytes file = hex("4D 54 68 64 00 00 00 08  00 00 00 01 00 60 AB CD");
    const Bytes track = trackChunk("00 90 3C 40  00 FF 2F 00");
    file.insert(file.end(), track.begin(), track.end());
    const Bytes trailing = hex("4A 55 4E 4B 00 00 FF FF");
    file.insert(file.end(), trailing.begin(), trailing.end());

    const auto imported = importMIDI(file, 4);
    expectOnlyCells(imported.pattern, {{0, 0, noteCell(60, 0, 32)}});
}

namespace {

/// A file of a header announcing `trackCount` tracks followed by `chunks`, each given as an id and its
/// events or contents in hex, with its true length.
Bytes fileOfChunks(int trackCount, std::initializer_list<std::pair<std::string_view, std::string_view>> chunks)
{
    Bytes file = midiFileBytes(1, trackCount, 96, {});
    for (const auto& [id, contents] : chunks) {
        const Bytes body = hex(contents);
        file.insert(file.end(), id.begin(), id.end());
        appendBigEndian(file, static_cast<std::uint32_t>(body.size()), 4);
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

} // namespace

TEST(MIDIImport, ReadsTheFilesOtherProgramsWrite)
{
    // At 96 ticks a quarter and 4 rows a beat, "60" is a delta of one beat: four rows.
    const Cell loud = noteCell(60, 0, 64);
    const Cell played = noteCell(60, 0, 32); // velocity 64
    const Cell off = offCell(0);
    struct Case {
        const char* name;
        Bytes file;
        std::vector<std::tuple<int, int, Cell>> cells;
    };
    const Case cases[] = {
        // A track's events end at its End of Track; the rest of its chunk is padding.
        {"zero padding after End of Track", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 2F 00 00 00"}), {{0, 0, played}}},
        {"one zero byte after End of Track", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 2F 00 00"}), {{0, 0, played}}},
        {"any bytes after End of Track", midiFileBytes(0, 96, {"00 90 3C 40 60 80 3C 00 00 FF 2F 00 90 3E 40 FF"}),
         {{0, 0, played}, {4, 0, off}}},
        {"an End of Track without its length byte", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 2F"}), {{0, 0, played}}},
        {"padding after End of Track in the first of two tracks",
         midiFileBytes(1, 96, {"00 FF 51 03 07 A1 20 00 FF 2F 00 00 00 00", "00 90 3C 40 60 80 3C 00"}),
         {{0, 0, played}, {4, 0, off}}},
        // System messages take their own lengths, and none sets or cancels the running status.
        {"a Stop byte inside a track", midiFileBytes(0, 96, {"00 90 3C 40 00 FC 60 80 3C 00"}), {{0, 0, played}, {4, 0, off}}},
        {"a Timing Clock and an Active Sensing byte",
         midiFileBytes(0, 96, {"00 90 3C 40 00 F8 00 FE 60 3C 00"}), {{0, 0, played}, {4, 0, off}}},
        {"every real-time byte", midiFileBytes(0, 96, {"00 90 3C 40 00 F8 00 F9 00 FA 00 FB 00 FC 00 FD 00 FE 60 3C 00"}),
         {{0, 0, played}, {4, 0, off}}},
        {"a Song Select with its one data byte", midiFileBytes(0, 96, {"00 F3 05 00 90 3C 40"}), {{0, 0, played}}},
        {"a Time Code Quarter Frame with its one data byte", midiFileBytes(0, 96, {"00 F1 21 00 90 3C 40"}), {{0, 0, played}}},
        {"a Song Position with its two data bytes", midiFileBytes(0, 96, {"00 F2 01 02 00 90 3C 40"}), {{0, 0, played}}},
        {"a Tune Request without data", midiFileBytes(0, 96, {"00 F6 00 90 3C 40"}), {{0, 0, played}}},
        // Chunks of unknown kinds are skipped wherever they stand among the tracks.
        {"an unknown chunk before the first track",
         fileOfChunks(1, {{"XFIH", "00 01 02 03"}, {"MTrk", "00 90 3C 40"}}), {{0, 0, played}}},
        {"an unknown chunk between two tracks",
         fileOfChunks(2, {{"MTrk", "00 90 3C 40"}, {"XFIH", "00 90 3E 40"}, {"MTrk", "60 80 3C 00"}}),
         {{0, 0, played}, {4, 0, off}}},
        {"an empty unknown chunk and one with a non-ASCII name",
         fileOfChunks(1, {{"Junk", ""}, {"\xC3\xA9t\xC3", "01"}, {"MTrk", "00 90 3C 40"}}), {{0, 0, played}}},
        // Data bytes with the top bit set, read as lenient readers read them.
        {"a program with the top bit set is passed over", midiFileBytes(0, 96, {"00 C0 05 00 C0 85 00 90 3C 40"}),
         {{0, 0, noteCell(60, 5, 32)}}},
        {"a program with the top bit set before any other", midiFileBytes(0, 96, {"00 C0 80 00 90 3C 40"}), {{0, 0, played}}},
        {"a release velocity with the top bit set", midiFileBytes(0, 96, {"00 90 3C 40 60 80 3C 80"}),
         {{0, 0, played}, {4, 0, off}}},
        {"a velocity with the top bit set is the loudest", midiFileBytes(0, 96, {"00 90 3C C0"}), {{0, 0, loud}}},
        {"a velocity of FF", midiFileBytes(0, 96, {"00 90 3C FF"}), {{0, 0, loud}}},
    };
    for (const auto& [name, file, cells] : cases) {
        SCOPED_TRACE(name);
        try {
            expectOnlyCells(importMIDI(file, 4).pattern, cells);
        } catch (const MIDIImportError&) {
            ADD_FAILURE() << "refused";
        }
    }
}

TEST(MIDIImport, RefusesTheseFiles)
{
    const std::string header = "4D 54 68 64 00 00 00 06 ";
    const std::string oneTrack = header + "00 00 00 01 00 60 ";
    const std::pair<const char*, Bytes> cases[] = {
        {"an empty file", {}},
        {"a cut header id", hex("4D 54 68")},
        {"another header id", hex("4D 54 68 78 00 00 00 06 00 00 00 01 00 60") },
        {"a header id with a non-ASCII byte", hex("CD 54 68 64 00 00 00 06 00 00 00 01 00 60")},
        {"a header length below 6", hex("4D 54 68 64 00 00 00 05 00 00 00 01 00 60")},
        {"a header longer than the file", hex("4D 54 68 64 00 00 00 10 00 00 00 01 00 60 00 00")},
        {"a header cut inside the division", hex("4D 54 68 64 00 00 00 06 00 00 00 01 00")},
        {"no tracks", midiFileBytes(0, 0, 96, {"00 90 3C 40"})},
        {"257 tracks", midiFileBytes(1, 257, 96, {"00 90 3C 40"})},
        {"a division of 0", midiFileBytes(0, 0, {"00 90 3C 40"})},
        {"a time-code division", midiFileBytes(0, 0xE728, {"00 90 3C 40"})},
        {"a header announcing a missing track", hex(oneTrack)},
        {"fewer tracks than announced", midiFileBytes(1, 2, 96, {"00 90 3C 40"})},
        {"only another chunk where a track belongs", hex(oneTrack + "4D 54 72 78 00 00 00 04 00 90 3C 40")},
        {"an unknown chunk longer than the file", hex(oneTrack + "4A 55 4E 4B 00 00 00 09 00 90 3C 40")},
        {"an unknown chunk length cut short", hex(oneTrack + "4A 55 4E 4B 00 00")},
        {"a note-on running past its chunk into the next",
         fileOfChunks(2, {{"MTrk", "00 90 3C"}, {"MTrk", "00 91 3E 40"}})},
        {"a meta event running past its chunk", fileOfChunks(2, {{"MTrk", "00 90 3C 40 00 FF 01 04 41"}, {"MTrk", "00 91 3E 40"}})},
        {"a delta running past its chunk", fileOfChunks(2, {{"MTrk", "00 90 3C 40 81"}, {"MTrk", "00 91 3E 40"}})},
        {"a Song Position running past its chunk", fileOfChunks(2, {{"MTrk", "00 90 3C 40 00 F2 01"}, {"MTrk", "00 91 3E 40"}})},
        {"a track chunk longer than the file", hex(oneTrack + "4D 54 72 6B 00 00 00 05 00 90 3C 40")},
        {"a track length cut short", hex(oneTrack + "4D 54 72 6B 00 00")},
        {"an event cut at the end of the file", midiFileBytes(0, 96, {"00 90 3C"})},
        {"a delta cut at the end of the file", midiFileBytes(0, 96, {"00 90 3C 40 81"})},
        {"a five-byte delta", midiFileBytes(0, 96, {"81 81 81 81 00 90 3C 40"})},
        {"a five-byte system exclusive length", midiFileBytes(0, 96, {"00 90 3C 40 00 F0 81 81 81 81 00"})},
        {"a five-byte meta length", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 01 81 81 81 81 00"})},
        {"system exclusive longer than the file", midiFileBytes(0, 96, {"00 90 3C 40 00 F0 05 01 02"})},
        {"a meta event longer than the file", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 01 7F 41"})},
        {"a Set Tempo cut short", midiFileBytes(0, 96, {"00 90 3C 40 00 FF 51 03 07 A1"})},
        {"a data byte before any status", midiFileBytes(0, 96, {"00 3C 40 00 90 3C 40"})},
        {"running status after only a meta event", midiFileBytes(0, 96, {"00 FF 01 00 00 3C 40"})},
        {"running status does not cross tracks", midiFileBytes(1, 96, {"00 90 3C 40", "00 3E 40"})},
        {"a key with the top bit set", midiFileBytes(0, 96, {"00 90 BC 40"})},
        {"a released key with the top bit set", midiFileBytes(0, 96, {"00 90 3C 40 00 80 BC 00"})},
        {"only meta events and program changes", midiFileBytes(0, 96, {"00 FF 51 03 07 A1 20 00 C0 05 00 FF 2F 00"})},
        {"only controllers and pitch bend", midiFileBytes(0, 96, {"00 B0 07 64 00 E0 00 40"})},
        {"empty tracks", midiFileBytes(1, 96, {"", "00 FF 2F 00"})},
        {"notes only after End of Track", midiFileBytes(0, 96, {"00 FF 2F 00 00 90 3C 40"})},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        try {
            importMIDI(file, 4);
            ADD_FAILURE() << "accepted";
        } catch (const MIDIImportError& error) {
            EXPECT_EQ(error.which(), MIDIImportError::Case::invalid);
            EXPECT_STREQ(error.what(), "This is not a valid Standard MIDI File.");
        }
    }
}

TEST(MIDIImport, EveryCutOfAValidFileIsRefused)
{
    const auto file = midiFileBytes(1, 96, {"00 FF 51 03 07 A1 20 00 FF 2F 00", "00 C0 05 00 90 3C 40 60 80 3C 00 00 FF 2F 00"});
    ASSERT_NO_THROW(importMIDI(file, 4));
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE("first " + std::to_string(length) + " bytes");
        EXPECT_THROW(importMIDI(std::span(file.data(), length), 4), MIDIImportError);
    }
}

TEST(MIDIImport, FuzzFixturesAreReadWithinBoundsOrRefused)
{
    // The seeds of the fuzzer are valid files; every other input the fuzzer once broke on must now be
    // read into a pattern the model accepts, or refused.
    const std::filesystem::path folder = std::filesystem::path(VELTRANE_FIXTURES_DIR) / "Fuzz" / "MIDIImport";
    int seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream stream(entry.path(), std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        const bool isSeed = entry.path().filename().string().starts_with("seed-");
        seeds += isSeed ? 1 : 0;
        try {
            const auto imported = importMIDI(file, 4);
            const auto& pattern = imported.pattern;
            EXPECT_TRUE(pattern.rows >= 1 && pattern.rows <= 256 && pattern.channels >= 1 && pattern.channels <= 16);
            EXPECT_TRUE(pattern.hasConsistentGrid());
            EXPECT_TRUE(imported.bpm >= 20 && imported.bpm <= 400);
            for (int row = 0; row < pattern.rows; ++row) {
                for (const auto& cell : pattern.cells.row(row)) {
                    const auto pitch = cell.note ? pitchOf(*cell.note) : std::nullopt;
                    EXPECT_TRUE(!pitch || (*pitch >= 0 && *pitch <= 127));
                    EXPECT_TRUE(!cell.volume || *cell.volume <= 64);
                    EXPECT_TRUE(!cell.instrument || (*cell.instrument >= 0 && *cell.instrument <= 127));
                }
            }
        } catch (const MIDIImportError&) {
            EXPECT_FALSE(isSeed) << "a seed is a valid file";
        }
    }
    EXPECT_GE(seeds, 2);
}
