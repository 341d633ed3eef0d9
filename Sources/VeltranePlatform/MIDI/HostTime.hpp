#pragma once

// The host clock of MIDI time stamps: CLOCK_MONOTONIC in nanoseconds. It never jumps with the wall
// clock. JACK keeps a time of its own (jack_get_time), which need not agree with it: stamps are taken
// here, never from JACK.

#include <cstdint>

namespace veltrane {

/// Now on the host clock, in nanoseconds. Any thread; real-time safe.
std::uint64_t hostTimeNanos() noexcept;

} // namespace veltrane
