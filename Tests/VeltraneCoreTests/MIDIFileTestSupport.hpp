#pragma once

// Small Standard MIDI Files built byte by byte, and byte strings written as hex, for the MIDI file tests.

#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>
#include <optional>
#include <tuple>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane::testing {

using Bytes = std::vector<std::uint8_t>;

/// "4D 54 68 64" (spaces optional) to bytes.
inline Bytes hex(std::string_view text)
{
    Bytes bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == '\n') continue;
        digits += c;
        if (digits.size() == 2) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return bytes;
}

inline std::string hexString(const Bytes& bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0xF];
    }
    return text;
}

inline void appendBigEndian(Bytes& bytes, std::uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

/// An "MTrk" chunk around `events` (given as hex), with its true length.
inline Bytes trackChunk(std::string_view events)
{
    const Bytes body = hex(events);
    Bytes chunk{'M', 'T', 'r', 'k'};
    appendBigEndian(chunk, static_cast<std::uint32_t>(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

/// A header chunk announcing `trackCount` tracks, followed by one track chunk per entry of `tracks`.
inline Bytes midiFileBytes(int format, int trackCount, int division, std::initializer_list<std::string_view> tracks)
{
    Bytes file{'M', 'T', 'h', 'd'};
    appendBigEndian(file, 6, 4);
    appendBigEndian(file, static_cast<std::uint32_t>(format), 2);
    appendBigEndian(file, static_cast<std::uint32_t>(trackCount), 2);
    appendBigEndian(file, static_cast<std::uint32_t>(division), 2);
    for (auto events : tracks) {
        const Bytes chunk = trackChunk(events);
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    return file;
}

/// The same with as many tracks announced as given.
inline Bytes midiFileBytes(int format, int division, std::initializer_list<std::string_view> tracks)
{
    return midiFileBytes(format, static_cast<int>(tracks.size()), division, tracks);
}

/// A project whose song plays `patterns` in the given blocks (pattern index, repeats), with no swing.
inline Project songOf(std::vector<Pattern> patterns, const std::vector<std::pair<int, int>>& blocks, double bpm = 120,
                      int rowsPerBeat = 4)
{
    Project project;
    project.bpm = bpm;
    project.rowsPerBeat = rowsPerBeat;
    project.swing = 0.0;
    project.patterns = std::move(patterns);
    project.arrangement->blocks.clear();
    project.order.clear();
    for (auto [pattern, repeats] : blocks) {
        project.arrangement->blocks.push_back(SongBlock{.pattern = pattern, .repeats = repeats});
        for (int i = 0; i < repeats; ++i) project.order.push_back(pattern);
    }
    return project;
}

/// A `rows` × `channels` pattern holding the listed cells (row, channel, cell).
inline Pattern patternOf(int rows, int channels, const std::vector<std::tuple<int, int, Cell>>& cells)
{
    Pattern result("P", rows, channels);
    for (const auto& [row, channel, cell] : cells) result.setCell(row, channel, cell);
    return result;
}

/// A note cell with a gate in rows and an optional volume.
inline Cell gatedNote(int pitch, int instrument, double gate = 1, std::optional<std::uint8_t> volume = std::nullopt)
{
    return Cell{.note = NotePitch{pitch}, .instrument = instrument, .volume = volume, .gate = gate};
}

} // namespace veltrane::testing
