#pragma once

// The metronome's two clicks and the length of a count-in. The clicks are short square-wave notes of the
// built-in synthesizer, a high accent on the first beat of a bar and a lower regular click on the others;
// the engine makes them once at the output rate and queues them on its metronome player.
//
//     MetronomeClicks clicks = makeMetronomeClicks(48000);
//     std::int64_t lead = countInFrames(4, 120, 48000);     // 96,000
//
// Pure; allocates the two buffers.

#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstdint>

namespace veltrane {

struct MetronomeClicks {
    AudioBufferRef regular; // note 88, 0.03 s, gain 0.35
    AudioBufferRef accent;  // note 96, 0.035 s, gain 0.55
};

/// Both clicks at `sampleRate`; null buffers when the rate is not positive.
MetronomeClicks makeMetronomeClicks(double sampleRate);

/// `beats` beats (none when not positive) at `bpm`, in frames at `sampleRate`, to the nearest frame. A
/// tempo that is not positive gives no count-in.
std::int64_t countInFrames(int beats, double bpm, double sampleRate);

/// One beat at `bpm`, to the nearest frame; 0 for a tempo that is not positive.
std::int64_t beatFrames(double bpm, double sampleRate);

} // namespace veltrane
