#pragma once

// Each track plays up to `trackerVoiceCount` notes at once. The scheduler and the offline renderer keep,
// per track, the frame until which each voice is busy, and ask for a voice note by note in the order of
// the notes' start frames:
//
//     std::array<std::int64_t, trackerVoiceCount> busyUntil{};   // all free at frame 0
//     int voice = allocateTrackerVoice(busyUntil, note.startFrame, noteOff.frame);

#include <cstdint>
#include <span>

namespace veltrane {

inline constexpr int trackerVoiceCount = 8;

/// Chooses a voice for a note from `start` to `end` and marks it busy until max(start + 1, end), so even
/// a note of no length holds its voice for one frame. The first voice (by index) free at `start` wins;
/// when none is free the note steals the one that frees first (the lowest index among equals).
/// `availability[v]` is the frame until which voice v is busy. An empty list gives -1 and changes nothing.
int allocateTrackerVoice(std::span<std::int64_t> availability, std::int64_t start, std::int64_t end);

} // namespace veltrane
