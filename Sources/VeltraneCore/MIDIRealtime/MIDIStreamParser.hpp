#pragma once

// The one place that reads the raw MIDI byte stream of an input. Bytes come in whatever pieces the
// MIDI service delivers them: a message split across two deliveries completes with the second, real-time
// bytes may stand between the data bytes of another message, and running status is honoured. Whatever
// is not understood (system exclusive data, time code, Song Select, stray data bytes, a message cut
// short by a new status byte) is absorbed without an event.
//
//     MIDIStreamParser parser;                       // one per byte stream, kept for its whole life
//     parser.consume(bytes, [&](const MIDIStreamEvent& event) { ... });
//
// The parser never allocates in the sink form, so it can run on a MIDI service's real-time thread.

#include "VeltraneCore/MIDIRealtime/MIDIStreamEvent.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

class MIDIStreamParser {
public:
    /// Reads `bytes` and calls `onEvent(const MIDIStreamEvent&)` for every message they complete, in the
    /// order in which they complete. An unfinished message stays here for the next call. Never
    /// allocates, locks or waits; not safe to call from two threads at once.
    template <class Sink>
    void consume(std::span<const std::uint8_t> bytes, Sink&& onEvent)
    {
        for (const std::uint8_t byte : bytes) {
            if (auto event = read(byte)) onEvent(*event);
        }
    }

    /// The events that `bytes` complete, as a list.
    std::vector<MIDIStreamEvent> consume(std::span<const std::uint8_t> bytes);

    /// The status that further data bytes continue, if any.
    std::optional<std::uint8_t> runningStatus() const;
    /// The data bytes of the message in progress.
    std::span<const std::uint8_t> pending() const { return {pending_.data(), pendingCount_}; }

    /// Equal when further bytes would be read alike.
    friend bool operator==(const MIDIStreamParser& a, const MIDIStreamParser& b)
    {
        return a.runningStatus_ == b.runningStatus_ && std::ranges::equal(a.pending(), b.pending());
    }

private:
    std::optional<MIDIStreamEvent> read(std::uint8_t byte);

    // 0 means none: a status byte always has its top bit set. No message this parser completes has
    // more than two data bytes, so the pending bytes fit a fixed pair.
    std::uint8_t runningStatus_ = 0;
    std::array<std::uint8_t, 2> pending_{};
    std::uint8_t pendingCount_ = 0;
};

} // namespace veltrane
