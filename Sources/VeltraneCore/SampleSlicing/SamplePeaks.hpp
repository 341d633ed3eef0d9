#pragma once

// The waveform overview of a sample: one channel cut into buckets, each reported by its lowest and its
// highest sample.
//
//     samplePeaks(samples, 180)    (min, max, min, max, ...) for about 180 buckets
//
// Pure function over a copy of one channel.

#include <span>
#include <vector>

namespace veltrane {

/// Buckets of max(frames / `count`, 1) frames (integer division), the last one possibly shorter; for
/// each, its minimum (starting from 1, so it never reports above 1) and then its maximum (starting from
/// −1, so never below −1). The list holds two values a bucket: one bucket more than `count` when the
/// division leaves frames over. Empty for no samples or a `count` below 1.
std::vector<float> samplePeaks(std::span<const float> samples, int count);

} // namespace veltrane
