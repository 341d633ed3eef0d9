#include "VeltraneCore/MIDIRealtime/MIDIStreamParser.hpp"

namespace veltrane {

namespace {

constexpr std::uint8_t songPositionStatus = 0xF2;

} // namespace

std::vector<MIDIStreamEvent> MIDIStreamParser::consume(std::span<const std::uint8_t> bytes)
{
    std::vector<MIDIStreamEvent> events;
    consume(bytes, [&](const MIDIStreamEvent& event) { events.push_back(event); });
    return events;
}

std::optional<std::uint8_t> MIDIStreamParser::runningStatus() const
{
    if (runningStatus_ == 0) return std::nullopt;
    return runningStatus_;
}

std::optional<MIDIStreamEvent> MIDIStreamParser::read(std::uint8_t byte)
{
    if (byte >= 0xF8) {
        // Real-time messages may stand anywhere, even between the data bytes of another message, and
        // leave it undisturbed.
        switch (byte) {
        case 0xF8: return MIDIClockEvent{};
        case 0xFA: return MIDIStartEvent{};
        case 0xFB: return MIDIContinueEvent{};
        case 0xFC: return MIDIStopEvent{};
        default: return std::nullopt; // 0xF9, 0xFD, active sensing, reset
        }
    }
    if (byte >= 0x80) {
        // A new status ends whatever was in progress. Only channel messages and the song position
        // keep a status that data bytes complete; the data of every other system message (system
        // exclusive, time code, Song Select, ...) is skipped until the next status.
        pendingCount_ = 0;
        runningStatus_ = (byte < 0xF0 || byte == songPositionStatus) ? byte : 0;
        return std::nullopt;
    }
    if (runningStatus_ == 0) return std::nullopt; // a data byte without a status
    pending_[pendingCount_++] = byte;

    if (runningStatus_ == songPositionStatus) {
        if (pendingCount_ < 2) return std::nullopt;
        const int position = pending_[0] + pending_[1] * 128; // least significant seven bits first
        pendingCount_ = 0;
        runningStatus_ = 0;
        return MIDISongPositionEvent{position};
    }
    const std::uint8_t kind = runningStatus_ & 0xF0;
    if (kind == 0xC0 || kind == 0xD0) {
        // Program change and channel pressure are complete with one data byte; nothing here uses them.
        pendingCount_ = 0;
        return std::nullopt;
    }
    if (pendingCount_ < 2) return std::nullopt;
    // The status stays: each further pair of data bytes is another message of the same kind.
    pendingCount_ = 0;
    const int note = pending_[0];
    if (kind == 0x80) return MIDINoteOffEvent{note};
    if (kind == 0x90) {
        if (pending_[1] == 0) return MIDINoteOffEvent{note};
        return MIDINoteOnEvent{note, pending_[1]};
    }
    return std::nullopt; // polyphonic pressure, control change, pitch bend
}

} // namespace veltrane
