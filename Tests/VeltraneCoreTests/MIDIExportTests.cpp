#include "MIDIFileTestSupport.hpp"

#include "VeltraneCore/MIDIExport/MIDIExport.hpp"
#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

Bytes bytesOf(const Data& data) { return data.toVector(); }

// The chunks of a file: ids and bodies, in order.
std::vector<std::pair<std::string, Bytes>> chunks(const Bytes& file)
{
    std::vector<std::pair<std::string, Bytes>> result;
    std::size_t offset = 0;
    while (offset + 8 <= file.size()) {
        const std::string id(file.begin() + static_cast<std::ptrdiff_t>(offset), file.begin() + static_cast<std::ptrdiff_t>(offset + 4));
        const std::size_t length = (std::size_t{file[offset + 4]} << 24) | (std::size_t{file[offset + 5]} << 16)
                                   | (std::size_t{file[offset + 6]} << 8) | file[offset + 7];
        const auto begin = file.begin() + static_cast<std::ptrdiff_t>(offset + 8);
        result.emplace_back(id, Bytes(begin, begin + static_cast<std::ptrdiff_t>(length)));
        offset += 8 + length;
    }
    EXPECT_EQ(offset, file.size()) << "chunks do not fill the file";
    return result;
}

} // namespace

TEST(MIDIExport, AProjectWithoutPatternsIsATempoTrackAndOneEmptyTrack)
{
    Project project;
    project.patterns.clear();
    project.order.clear();
    project.arrangement->blocks.clear();
    EXPECT_EQ(hexString(bytesOf(midiFile(project, 480))),
              "4D 54 68 64 00 00 00 06 00 01 00 02 01 E0 "
              "4D 54 72 6B 00 00 00 0B 00 FF 51 03 07 62 1F 00 FF 2F 00 "
              "4D 54 72 6B 00 00 00 04 00 FF 2F 00");
}

TEST(MIDIExport, OneQuarterNoteIsWrittenByteForByte)
{
    // 120 bpm: 500,000 µs a quarter; the note's one beat is 480 ticks, written as 83 60.
    const auto at120 = songOf({patternOf(8, 1, {{0, 0, gatedNote(60, 0, 4)}})}, {{0, 1}}, 120);
    EXPECT_EQ(hexString(bytesOf(midiFile(at120, 480))),
              "4D 54 68 64 00 00 00 06 00 01 00 02 01 E0 "
              "4D 54 72 6B 00 00 00 0B 00 FF 51 03 07 A1 20 00 FF 2F 00 "
              "4D 54 72 6B 00 00 00 10 00 C0 00 00 90 3C 7F 83 60 80 3C 00 00 FF 2F 00");

    // 124 bpm: 483,870.97 µs rounds to 483,871; volume 32 is 63.5 of 127, which rounds to 64.
    auto at124 = songOf({patternOf(8, 1, {{0, 0, gatedNote(69, 2, 4, 32)}})}, {{0, 1}}, 124);
    EXPECT_EQ(hexString(bytesOf(midiFile(at124, 480))),
              "4D 54 68 64 00 00 00 06 00 01 00 02 01 E0 "
              "4D 54 72 6B 00 00 00 0B 00 FF 51 03 07 62 1F 00 FF 2F 00 "
              "4D 54 72 6B 00 00 00 10 00 C0 02 00 90 45 40 83 60 80 45 00 00 FF 2F 00");
}

TEST(MIDIExport, EventsAtOneTickGoOffThenProgramThenOn)
{
    // Rows are 120 ticks. A program change only where the instrument changes; instrument 200 is sent as
    // program 127; velocity follows the cell volume (64 and none are 127, 0 is 1).
    auto project = songOf({patternOf(8, 1,
                                 {{0, 0, gatedNote(60, 3, 2)},
                                  {2, 0, gatedNote(62, 3)},
                                  {3, 0, gatedNote(64, 5, 1, 0)},
                                  {4, 0, gatedNote(65, 3, 1, 64)},
                                  {5, 0, gatedNote(67, 200)}})},
                        {{0, 1}});
    while (project.instruments.size() <= 200) project.instruments.push_back(Instrument::withWaveform("Extra", Waveform::sine));

    const auto tracks = chunks(bytesOf(midiFile(project, 480)));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(hexString(tracks[2].second),
              "00 C0 03 00 90 3C 7F "           // tick 0
              "81 70 80 3C 00 00 90 3E 7F "     // tick 240: the first note ends as the second starts
              "78 80 3E 00 00 C0 05 00 90 40 01 " // tick 360
              "78 80 40 00 00 C0 03 00 90 41 7F " // tick 480
              "78 80 41 00 00 C0 7F 00 90 43 7F " // tick 600
              "78 80 43 00 "                    // tick 720
              "00 FF 2F 00");
}

TEST(MIDIExport, EveryNoteLastsAtLeastOneTick)
{
    // At 400 bpm and 16 rows a beat a row is 30 ticks; a gate of 0.01 rows is a third of a tick.
    const auto project = songOf({patternOf(4, 1, {{1, 0, gatedNote(60, 0, 0.01)}})}, {{0, 1}}, 400, 16);
    const auto tracks = chunks(bytesOf(midiFile(project, 480)));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(hexString(tracks[2].second), "1E C0 00 00 90 3C 7F 01 80 3C 00 00 FF 2F 00");
}

TEST(MIDIExport, OneTrackPerChannelOfTheWidestPattern)
{
    // Patterns of 3 and 20 channels: 20 note tracks. Pattern channels 16 and 17 send on MIDI channels 0
    // and 1; channels without notes still have their (empty) track.
    const auto project = songOf({patternOf(4, 3, {{0, 0, gatedNote(60, 0)}}),
                               patternOf(4, 20, {{0, 16, gatedNote(61, 1)}, {0, 17, gatedNote(62, 2)}})},
                              {{0, 1}, {1, 1}});
    const Bytes file = bytesOf(midiFile(project, 480));
    EXPECT_EQ(hexString(Bytes(file.begin() + 8, file.begin() + 14)), "00 01 00 15 01 E0");

    const auto tracks = chunks(file);
    ASSERT_EQ(tracks.size(), 22u);
    for (std::size_t i = 1; i < tracks.size(); ++i) EXPECT_EQ(tracks[i].first, "MTrk");
    // The second pattern starts one beat (480 ticks) into the song.
    EXPECT_EQ(hexString(tracks[2].second), "00 C0 00 00 90 3C 7F 78 80 3C 00 00 FF 2F 00");
    EXPECT_EQ(hexString(tracks[2 + 16].second), "83 60 C0 01 00 90 3D 7F 78 80 3D 00 00 FF 2F 00");
    EXPECT_EQ(hexString(tracks[2 + 17].second), "83 60 C1 02 00 91 3E 7F 78 81 3E 00 00 FF 2F 00");
    for (int channel : {1, 2, 3, 15, 18, 19}) {
        EXPECT_EQ(hexString(tracks[static_cast<std::size_t>(2 + channel)].second), "00 FF 2F 00") << "channel " << channel;
    }
}

TEST(MIDIExport, TheSongPlaysItsBlocksAndRepeats)
{
    // Block 1 plays pattern 1 twice, block 2 pattern 0 once; each pattern is one beat long.
    const auto project = songOf({patternOf(4, 1, {{0, 0, gatedNote(48, 0)}}), patternOf(4, 1, {{2, 0, gatedNote(72, 0)}})},
                              {{1, 2}, {0, 1}});
    const auto tracks = chunks(bytesOf(midiFile(project, 480)));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(hexString(tracks[2].second),
              "81 70 C0 00 00 90 48 7F 78 80 48 00 "      // ticks 240 and 360
              "82 68 90 48 7F 78 80 48 00 "               // ticks 720 and 840
              "78 90 30 7F 78 80 30 00 00 FF 2F 00");     // ticks 960 and 1080
}

TEST(MIDIExport, TempoOutsideTheProjectRangeIsWrittenAtTheNearestEnd)
{
    // The notes are timed at the tempo the file states, so one beat stays 480 ticks whatever the tempo.
    const std::pair<double, std::string> cases[] = {
        {120, "07 A1 20"},
        {20, "2D C6 C0"},
        {400, "02 49 F0"},
        {19.9, "2D C6 C0"},
        {3, "2D C6 C0"}, // 20,000,000 µs does not fit 24 bits
        {0, "2D C6 C0"},
        {-60, "2D C6 C0"},
        {1000, "02 49 F0"},
        {std::numeric_limits<double>::infinity(), "02 49 F0"},
        {std::numeric_limits<double>::quiet_NaN(), "07 A1 20"},
    };
    for (const auto& [bpm, tempo] : cases) {
        SCOPED_TRACE("bpm " + std::to_string(bpm));
        const auto project = songOf({patternOf(8, 1, {{0, 0, gatedNote(60, 0, 4)}})}, {{0, 1}}, bpm);
        const auto tracks = chunks(bytesOf(midiFile(project, 480)));
        ASSERT_EQ(tracks.size(), 3u);
        EXPECT_EQ(hexString(tracks[1].second), "00 FF 51 03 " + tempo + " 00 FF 2F 00");
        EXPECT_EQ(hexString(tracks[2].second), "00 C0 00 00 90 3C 7F 83 60 80 3C 00 00 FF 2F 00");
    }
}

TEST(MIDIExport, TicksPerBeatIsTheDivision)
{
    const auto project = songOf({patternOf(8, 1, {{0, 0, gatedNote(60, 0, 4)}})}, {{0, 1}});
    const Bytes fine = bytesOf(midiFile(project, 32767));
    EXPECT_EQ(hexString(Bytes(fine.begin() + 12, fine.begin() + 14)), "7F FF");
    EXPECT_EQ(hexString(chunks(fine)[2].second), "00 C0 00 00 90 3C 7F 81 FF 7F 80 3C 00 00 FF 2F 00");

    const Bytes coarse = bytesOf(midiFile(project, 1));
    EXPECT_EQ(hexString(chunks(coarse)[2].second), "00 C0 00 00 90 3C 7F 01 80 3C 00 00 FF 2F 00");

    // A division of 0 makes a file no reader accepts, and one with bit 15 set would be read as frames
    // per second of time code instead of ticks per beat.
    for (int ticks : {0, -480, 32768, 65535, 65536}) EXPECT_THROW(midiFile(project, ticks), std::invalid_argument) << ticks;
}

TEST(MIDIExport, ASilenceLongerThanADeltaTimeIsBridged)
{
    // At 32767 ticks a beat and one row a beat, 34 passes of a 256-row pattern put the second note
    // 285,171,201 ticks after the first one ends: more than the 28 bits of a delta time. An empty text
    // event carries the first 268,435,455 ticks.
    Pattern silent("Silent", 256, 1);
    const auto project = songOf({patternOf(256, 1, {{0, 0, gatedNote(60, 0)}}), silent}, {{0, 1}, {1, 33}, {0, 1}}, 120, 1);
    const Data file = midiFile(project, 32767);
    const auto tracks = chunks(bytesOf(file));
    ASSERT_EQ(tracks.size(), 3u);
    EXPECT_EQ(hexString(tracks[2].second),
              "00 C0 00 00 90 3C 7F 81 FF 7F 80 3C 00 "
              "FF FF FF 7F FF 01 00 "
              "87 FD BC 02 90 3C 7F 81 FF 7F 80 3C 00 00 FF 2F 00");
    EXPECT_NO_THROW(importMIDI(file, 4));
}
