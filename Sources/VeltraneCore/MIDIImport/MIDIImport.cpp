#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace veltrane {

namespace {

constexpr int maximumTrackCount = 256;
constexpr int maximumPatternRows = 256;
constexpr int maximumPatternChannels = 32;
constexpr std::uint32_t defaultMicrosecondsPerQuarter = 500000; // 120 bpm, when the file sets no tempo

// A project outside this tempo range does not load again, so an imported tempo is kept inside it.
constexpr double minimumBPM = 20;
constexpr double maximumBPM = 400;

[[noreturn]] void reject() { throw MIDIImportError(MIDIImportError::Case::invalid); }

// A cursor over the file's bytes. Every read is checked against the end of the bytes and refuses the
// file instead of reading past it, whatever lengths the file claims.
struct MIDIReader {
    std::span<const std::uint8_t> bytes;
    std::size_t offset = 0;

    std::size_t remaining() const { return bytes.size() - offset; }

    std::uint8_t byte()
    {
        if (remaining() < 1) reject();
        return bytes[offset++];
    }

    void skip(std::int64_t count)
    {
        if (count < 0 || static_cast<std::uint64_t>(count) > remaining()) reject();
        offset += static_cast<std::size_t>(count);
    }

    std::string tag()
    {
        if (remaining() < 4) reject();
        std::string text(reinterpret_cast<const char*>(bytes.data() + offset), 4);
        offset += 4;
        // Only ASCII text counts as a chunk name; anything else matches no chunk we know.
        if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; })) return {};
        return text;
    }

    std::uint32_t uint16()
    {
        const std::uint32_t high = byte();
        return (high << 8) | byte();
    }

    std::uint32_t uint24()
    {
        const std::uint32_t high = uint16();
        return (high << 8) | byte();
    }

    std::uint32_t uint32()
    {
        const std::uint32_t high = uint16();
        return (high << 16) | uint16();
    }

    // A variable-length quantity: 7 bits a byte, most significant first, at most 4 bytes (28 bits).
    std::uint32_t variableLength()
    {
        std::uint32_t value = 0;
        for (int count = 0; count < 4; ++count) {
            const std::uint8_t b = byte();
            value = (value << 7) | (b & 0x7F);
            if ((b & 0x80) == 0) return value;
        }
        reject();
    }

    // A key byte, where a value with the top bit set cannot stand.
    static std::uint8_t checkedData(std::uint8_t value)
    {
        if (value & 0x80) reject();
        return value;
    }
};

struct ImportedEvent {
    std::int64_t tick = 0;    // absolute, from the start of its track
    int channel = 0;          // 0 to 15
    StepNote note;            // a pitch for a note-on, NoteOff for a note-off
    std::uint8_t velocity = 0; // the cell volume already converted, 0 to 64; 0 for a note-off
    int program = 0;          // the channel's program in this track when the event was read
};

struct ReadFile {
    int division = 0;
    std::uint32_t microsecondsPerQuarter = defaultMicrosecondsPerQuarter;
    std::vector<ImportedEvent> events;
    std::bitset<16> usedChannels;
};

/// The number of data bytes after a system message's status byte (F1 to FE, but neither F7 nor FF): the
/// time code quarter frame and song select carry one, the song position two; tune request and the
/// real-time messages F8 to FE none. Undefined statuses are taken as carrying none.
int systemDataBytes(std::uint8_t status)
{
    switch (status) {
    case 0xF1:
    case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0;
    }
}

// Reads one track chunk's events. `reader` covers exactly the chunk's bytes, so an event that would run
// past the chunk's end is refused as a read past the end of the file is: its last bytes would otherwise
// come from the next chunk's header.
void readTrack(MIDIReader& reader, ReadFile& file)
{
    std::int64_t tick = 0;
    std::optional<std::uint8_t> runningStatus;
    std::array<int, 16> programs{};

    while (reader.remaining() > 0) {
        tick += reader.variableLength();

        std::uint8_t status = reader.byte();
        std::optional<std::uint8_t> firstData;
        if (status & 0x80) {
            // Meta and system events neither set nor cancel the running status.
            if (status < 0xF0) runningStatus = status;
        } else {
            if (!runningStatus) reject();
            firstData = status;
            status = *runningStatus;
        }

        if (status == 0xF0 || status == 0xF7) {
            reader.skip(reader.variableLength());
            continue;
        }
        if (status == 0xFF) {
            const std::uint8_t type = reader.byte();
            // End of Track ends the track's events: whatever follows in the chunk (writers pad chunks
            // with zeros) is not read, nor is the End of Track's own length needed.
            if (type == 0x2F) return;
            const std::uint32_t length = reader.variableLength();
            if (type == 0x51 && length == 3) {
                file.microsecondsPerQuarter = reader.uint24();
            } else {
                reader.skip(length);
            }
            continue;
        }
        if (status > 0xF0) {
            reader.skip(systemDataBytes(status));
            continue;
        }

        const std::uint8_t data = firstData ? *firstData : reader.byte();
        const int channel = status & 0x0F;
        std::optional<ImportedEvent> event;
        switch (status >> 4) {
        case 0xD: // channel pressure: one data byte, dropped
            break;
        case 0xC:
            // A program number is 7 bits; a byte with the top bit set names no program and is passed
            // over, as lenient readers do, leaving the channel's program as it was.
            if ((data & 0x80) == 0) programs[static_cast<std::size_t>(channel)] = data;
            break;
        case 0x8:
            MIDIReader::checkedData(data);
            reader.byte(); // the release velocity, which no cell keeps, whatever its top bit
            event = ImportedEvent{.note = NoteOff{}};
            break;
        case 0x9: {
            // A key with the top bit set means the stream is misaligned: the file is refused. A velocity
            // with it set is read as the loudest, as lenient readers do.
            const int key = MIDIReader::checkedData(data);
            const std::uint8_t velocityByte = reader.byte();
            const int velocity = (velocityByte & 0x80) ? 127 : velocityByte;
            if (velocity == 0) {
                event = ImportedEvent{.note = NoteOff{}};
            } else {
                const auto volume = static_cast<std::uint8_t>(std::min(velocity * 64 / 127, 64));
                event = ImportedEvent{.note = NotePitch{key}, .velocity = volume};
            }
            break;
        }
        default: // polyphonic pressure, controllers and pitch bend: a second data byte, dropped
            reader.byte();
            break;
        }

        if (event) {
            event->tick = tick;
            event->channel = channel;
            event->program = programs[static_cast<std::size_t>(channel)];
            file.events.push_back(*event);
            file.usedChannels.set(static_cast<std::size_t>(channel));
        }
    }
}

ReadFile readFile(std::span<const std::uint8_t> bytes)
{
    MIDIReader reader{bytes};
    if (reader.tag() != "MThd") reject();
    const std::uint32_t headerLength = reader.uint32();
    if (headerLength < 6) reject();
    reader.uint16(); // format: 0, 1 and 2 are all merged into one pattern
    const std::uint32_t trackCount = reader.uint16();
    const std::uint32_t division = reader.uint16();
    reader.skip(static_cast<std::int64_t>(headerLength) - 6);
    if (trackCount < 1 || trackCount > maximumTrackCount) reject();
    // Bit 15 marks a time-code division (frames per second), which has no beats to put on rows.
    if (division == 0 || (division & 0x8000)) reject();

    ReadFile file;
    file.division = static_cast<int>(division);
    for (std::uint32_t track = 0; track < trackCount;) {
        const std::string id = reader.tag();
        const std::uint32_t length = reader.uint32();
        if (length > reader.remaining()) reject();
        // Chunks of other kinds may stand among the tracks; a reader skips those it does not know.
        if (id == "MTrk") {
            MIDIReader chunk{reader.bytes.subspan(reader.offset, length)};
            readTrack(chunk, file);
            ++track;
        }
        reader.skip(length);
    }
    if (file.events.empty()) reject();
    return file;
}

// The row nearest a tick, halves away from zero. Real arithmetic: a division with fewer ticks per
// quarter than rows per beat puts several rows between two ticks, which a whole-number quotient of
// ticks per row would turn into a division by zero.
double exactRow(std::int64_t tick, int division, int rowsPerBeat)
{
    return std::round(static_cast<double>(tick) * static_cast<double>(rowsPerBeat) / static_cast<double>(division));
}

int clampedRow(double row, int rows) { return static_cast<int>(std::clamp(row, 0.0, static_cast<double>(rows - 1))); }

} // namespace

ImportedMIDI importMIDI(std::span<const std::uint8_t> bytes, int rowsPerBeat)
{
    const ReadFile file = readFile(bytes);

    double lastRow = 0;
    for (const auto& event : file.events) lastRow = std::max(lastRow, exactRow(event.tick, file.division, rowsPerBeat));
    const int rows = static_cast<int>(std::clamp(lastRow + 1, 1.0, static_cast<double>(maximumPatternRows)));

    std::array<int, 16> columnOfChannel{};
    int usedChannels = 0;
    for (std::size_t channel = 0; channel < 16; ++channel) {
        if (file.usedChannels.test(channel)) columnOfChannel[channel] = usedChannels++;
    }
    const int channels = std::clamp(usedChannels, 1, maximumPatternChannels);

    ImportedMIDI imported;
    imported.pattern = Pattern("Imported MIDI", rows, channels);
    for (const auto& event : file.events) {
        const int row = clampedRow(exactRow(event.tick, file.division, rowsPerBeat), rows);
        const int column = columnOfChannel[static_cast<std::size_t>(event.channel)];
        // A note end never covers a note that starts on the same row.
        if (isNoteOff(event.note) && imported.pattern.cell(row, column).note) continue;
        Cell cell{.note = event.note, .instrument = event.program};
        if (event.velocity > 0) cell.volume = event.velocity;
        imported.pattern.setCell(row, column, std::move(cell));
    }

    const double bpm = 60000000.0 / std::max<std::uint32_t>(file.microsecondsPerQuarter, 1);
    imported.bpm = std::clamp(bpm, minimumBPM, maximumBPM);
    return imported;
}

} // namespace veltrane
