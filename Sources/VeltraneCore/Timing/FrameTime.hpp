#pragma once

// Seconds become sample frames in one place, with one rounding: to the nearest integer, halves away from
// zero. Row lengths, note lengths, sample plans, tails and MIDI ticks all go through here so that two
// parts of the program never disagree by a frame about where something starts.
//
//     framesForSeconds(0.125, 48000)       6000
//     lengthFramesForSeconds(0.0, 48000)   1      a length is never shorter than one frame
//     roundHalfAwayFromZero(-2.5)          -3
//     framesAfter(INT64_MAX, 441000)       INT64_MAX

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace veltrane {

/// `value` to the nearest integer, halves away from zero (2.5 gives 3, -2.5 gives -3). NaN gives 0 and
/// values beyond the 64-bit range give its nearest end, so a broken input never becomes undefined
/// behaviour in the frame arithmetic that follows.
inline std::int64_t roundHalfAwayFromZero(double value)
{
    if (std::isnan(value)) return 0;
    // 2^63 is the first double above the Int64 range; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::round(value));
}

/// `seconds` at `sampleRate` frames per second, to the nearest frame (halves away from zero).
inline std::int64_t framesForSeconds(double seconds, double sampleRate)
{
    return roundHalfAwayFromZero(seconds * sampleRate);
}

/// A length in frames: `framesForSeconds`, and at least one frame.
inline std::int64_t lengthFramesForSeconds(double seconds, double sampleRate)
{
    return std::max<std::int64_t>(1, framesForSeconds(seconds, sampleRate));
}

/// `frame` moved on by `frames`, held to the 64-bit range: a frame that stands for "beyond everything"
/// (the largest one) stays there instead of overflowing into the past.
inline std::int64_t framesAfter(std::int64_t frame, std::int64_t frames)
{
    std::int64_t result = 0;
    if (__builtin_add_overflow(frame, frames, &result))
        return frames > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return result;
}

} // namespace veltrane
