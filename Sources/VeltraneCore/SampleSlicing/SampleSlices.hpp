#pragma once

// Slices of a sample and where they can be cut. Positions are fractions of the (edited) sample, 0 the
// first frame and 1 its end.
//
//     sampleSliceBounds({0.5, 0.25}, 1)        (0.25, 0.5)     n points make n + 1 slices
//     detectTransientSlices(samples, 44100, 0.5, 16)   up to 15 points at the strongest onsets
//     snapSamplePositionToZeroCrossing(samples, 0.4, 44100, 0.005)
//
// Pure functions; the detection and the snap read a copy of one channel.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace veltrane {

struct SampleSliceBounds {
    double start = 0;
    double end = 1;
    friend bool operator==(const SampleSliceBounds&, const SampleSliceBounds&) = default;
};

/// The bounds of slice `index` (from 0) made by `points`: the points strictly inside 0 to 1, without
/// duplicates, in ascending order, framed by 0 and 1. Nothing for an index outside the slices.
std::optional<SampleSliceBounds> sampleSliceBounds(std::span<const double> points, std::int64_t index);

/// Proposed slice points at the onsets of a recording: at most `maximumSlices` − 1 points, ascending.
/// `sensitivity` 0 to 1 sets how large a rise counts as an onset: from 4 % to 30 % of the loudest
/// window's level (a negative value counts as 0, a larger one as 1).
std::vector<double> detectTransientSlices(std::span<const float> samples, double sampleRate, double sensitivity,
                                          int maximumSlices);

/// `position` moved to the nearest zero crossing within `radiusSeconds`; without one, to the quietest
/// sample there. Held to 0 to 1.
double snapSamplePositionToZeroCrossing(std::span<const float> samples, double position, double sampleRate,
                                        double radiusSeconds);

} // namespace veltrane
