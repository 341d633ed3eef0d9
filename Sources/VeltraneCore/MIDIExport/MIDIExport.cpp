#include "VeltraneCore/MIDIExport/MIDIExport.hpp"

#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace veltrane {

namespace {

// The rate the song's timeline is built at; each tick is rounded from one of its frames.
constexpr double timelineSampleRate = 48000;

// The project's tempo range. Outside it there is either no Set Tempo value at all (zero or below) or one
// that does not fit its 24 bits (below 4 bpm), so the file is written at the nearest valid tempo.
constexpr double minimumBPM = 20;
constexpr double maximumBPM = 400;
constexpr double defaultBPM = 120;

// The model has at most 32 channels a pattern; a broken project with more still gets a header that holds
// its track count.
constexpr int maximumNoteTracks = 0xFFFF - 1;

using Bytes = std::vector<std::uint8_t>;

// The largest delta time of four variable-length bytes, the most a reader accepts.
constexpr std::uint64_t maximumDelta = 0x0FFFFFFF;

// One channel message of a note track before it is serialised.
struct MIDIEvent {
    std::int64_t tick = 0;  // from the start of the song
    int priority = 0;       // order at one tick: 0 note-off, 1 program change, 2 note-on
    std::array<std::uint8_t, 3> bytes{};
    std::size_t size = 0;   // the message's length, status byte included
};

void appendBE(Bytes& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

void appendBE(Bytes& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
    bytes.push_back(static_cast<std::uint8_t>(value));
}

// A MIDI variable-length quantity: 7 bits a byte, most significant group first, bit 7 set on every byte
// but the last.
void appendVariableLength(Bytes& bytes, std::uint64_t value)
{
    std::array<std::uint8_t, 10> groups{};
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value > 0);
    while (count > 1) bytes.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    bytes.push_back(groups[0]);
}

void appendEndOfTrack(Bytes& bytes)
{
    for (std::uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) bytes.push_back(b);
}

double exportBPM(double bpm)
{
    if (std::isnan(bpm)) return defaultBPM;
    return std::clamp(bpm, minimumBPM, maximumBPM);
}

Bytes tempoTrack(double bpm)
{
    const auto microsecondsPerQuarter = static_cast<std::uint32_t>(roundHalfAwayFromZero(60000000.0 / bpm));
    Bytes bytes{0x00, 0xFF, 0x51, 0x03};
    for (int shift = 16; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(microsecondsPerQuarter >> shift));
    appendEndOfTrack(bytes);
    return bytes;
}

Bytes noteTrack(const PlaybackTimeline& timeline, double bpm, int channel, int ticksPerBeat)
{
    const auto midiChannel = static_cast<std::uint8_t>(channel % 16);
    const auto tickAt = [&](std::int64_t frame) {
        return roundHalfAwayFromZero(static_cast<double>(frame) / timeline.sampleRate * bpm / 60 * ticksPerBeat);
    };

    std::vector<MIDIEvent> events;
    std::optional<int> currentProgram;
    for (const auto& note : timeline.notes) {
        if (note.track != channel) continue;
        const std::int64_t startTick = tickAt(note.startFrame);
        // Every note lasts at least a tick, so its Note Off never comes before or with its Note On.
        const std::int64_t offTick = std::max(startTick + 1, tickAt(note.startFrame + note.durationFrames));
        // The instrument index serves as the program number.
        const int program = std::clamp(note.instrument, 0, 127);
        if (currentProgram != program) {
            events.push_back({startTick, 1, {static_cast<std::uint8_t>(0xC0 | midiChannel), static_cast<std::uint8_t>(program)}, 2});
            currentProgram = program;
        }
        const auto key = static_cast<std::uint8_t>(std::clamp(note.note, 0, 127));
        const auto velocity = static_cast<std::uint8_t>(std::clamp<std::int64_t>(roundHalfAwayFromZero(note.volume * 127), 1, 127));
        events.push_back({startTick, 2, {static_cast<std::uint8_t>(0x90 | midiChannel), key, velocity}, 3});
        events.push_back({offTick, 0, {static_cast<std::uint8_t>(0x80 | midiChannel), key, 0}, 3});
    }
    // At one tick a note that ends is switched off before a program change, and the program change comes
    // before the next note starts; events that tie keep the order they were added in.
    std::stable_sort(events.begin(), events.end(), [](const MIDIEvent& a, const MIDIEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.priority < b.priority;
    });

    Bytes bytes;
    std::int64_t previousTick = 0;
    for (const auto& event : events) {
        auto delta = static_cast<std::uint64_t>(event.tick - previousTick);
        // A delta time has at most four bytes (28 bits). A longer silence on one track is bridged by
        // empty text events, which every reader skips, so no reader misreads the ticks that follow.
        while (delta > maximumDelta) {
            appendVariableLength(bytes, maximumDelta);
            for (std::uint8_t b : {0xFF, 0x01, 0x00}) bytes.push_back(b);
            delta -= maximumDelta;
        }
        appendVariableLength(bytes, delta);
        previousTick = event.tick;
        bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.begin() + static_cast<std::ptrdiff_t>(event.size));
    }
    appendEndOfTrack(bytes);
    return bytes;
}

void appendChunk(Bytes& file, const char (&id)[5], const Bytes& body)
{
    file.insert(file.end(), id, id + 4);
    appendBE(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
}

} // namespace

Data midiFile(const Project& project, int ticksPerBeat)
{
    // The division's top bit marks time code (frames per second), so ticks per beat have 15 bits; and a
    // division of 0 has no time at all.
    if (ticksPerBeat < 1 || ticksPerBeat > 0x7FFF) {
        throw std::invalid_argument("midiFile: ticks per beat must lie in 1...32767");
    }

    // The song is timed at the tempo the file states, so a tempo brought into range moves the notes too.
    Project timed = project;
    timed.bpm = exportBPM(project.bpm);
    const PlaybackTimeline timeline = playbackTimeline(timed, SongScope{}, 0, 0, timelineSampleRate, false);

    int noteTracks = 1;
    for (const auto& pattern : project.patterns) noteTracks = std::max(noteTracks, pattern.channels);
    noteTracks = std::min(noteTracks, maximumNoteTracks);

    Bytes file{'M', 'T', 'h', 'd'};
    appendBE(file, std::uint32_t{6});
    appendBE(file, std::uint16_t{1});
    appendBE(file, static_cast<std::uint16_t>(1 + noteTracks));
    appendBE(file, static_cast<std::uint16_t>(ticksPerBeat));
    appendChunk(file, "MTrk", tempoTrack(timed.bpm));
    for (int channel = 0; channel < noteTracks; ++channel) {
        appendChunk(file, "MTrk", noteTrack(timeline, timed.bpm, channel, ticksPerBeat));
    }
    return Data(std::move(file));
}

} // namespace veltrane
