#pragma once

// Small Standard MIDI Files built byte by byte, and byte strings written as hex, for the MIDI file tests.

#include <cstdint>
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

} // namespace veltrane::testing
