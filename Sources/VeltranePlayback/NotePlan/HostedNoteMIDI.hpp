#pragma once

// The MIDI that plays one note of a hosted instrument in an export, on channel 1:
//
//     at the note's start   CC 7 volume, CC 10 pan, CC 74 cutoff, CC 71 resonance, note on
//     at the gate's end     note off
//     while it sounds       CC 7 / 10 / 74 / 71 again, 24 times a beat, for each of them that the
//                           modulation rack moves on this track and instrument
//
// Controllers carry the instrument as the note's start prepares it (locks, automation, modulation);
// the resends follow the routes over the note from the instrument under locks and automation. The
// instrument's tune moves the note number. Every value is rounded to the nearest step and held to
// 0 to 127 (a velocity to 1 to 127, so a silent cell still plays).
//
//     for (auto& message : hostedNoteMIDI(event, project, timeline)) unit.scheduleMIDI(message.frame, message.bytes);
//
// Live playback and the export make a hosted note's MIDI through `hostedNoteStart` and
// `hostedControlChanges`; live playback keeps the values and sends them in each loop cycle. Pure.

#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace veltrane {

/// What a hosted note sends when it starts: its note number and velocity, and controllers 7, 10, 74 and
/// 71 (volume, pan, cutoff, resonance) from `start`, the instrument prepared at the note's start.
struct HostedNoteStart {
    std::uint8_t note = 0;
    std::uint8_t velocity = 1;
    std::uint8_t volume = 0;
    std::uint8_t pan = 64;
    std::uint8_t cutoff = 0;
    std::uint8_t resonance = 0;
};

/// The start of a hosted note of pitch `note` at cell volume `volume` (0 ... 1) and pan `pan` (-1 ... 1).
HostedNoteStart hostedNoteStart(int note, double volume, double pan, const Instrument& start);

/// The resends of a hosted note from `frame` lasting `gateFrames`: for every offset from 0 to the gate,
/// 24 times a beat, `send(frame, controller, value)` for each of the four controllers that a route moves on
/// this track and instrument, followed over the note from `base` (the instrument under locks and
/// automation). Nothing when no route moves them.
void hostedControlChanges(std::int64_t frame, std::int64_t gateFrames, int track, int instrumentIndex,
                          const Instrument& base, const Project& project, double sampleRate,
                          const std::function<void(std::int64_t frame, std::uint8_t controller, std::uint8_t value)>& send);

struct ScheduledMIDIMessage {
    std::int64_t frame = 0; // 44,100 Hz frames from the song's start
    std::array<std::uint8_t, 3> bytes{};
    friend bool operator==(const ScheduledMIDIMessage&, const ScheduledMIDIMessage&) = default;
};

/// How long after its note-off a hosted note is taken to sound on: 3 seconds for its release.
inline constexpr std::int64_t hostedReleaseAllowanceFrames = 132300;

/// The messages of `event` in the order above (a resend at the note-off's frame follows it).
std::vector<ScheduledMIDIMessage> hostedNoteMIDI(const RenderEvent& event, const Project& project,
                                                 const PlaybackTimeline& timeline);

/// The frame of the note-off of `event`.
std::int64_t hostedNoteOffFrame(const RenderEvent& event);

} // namespace veltrane
