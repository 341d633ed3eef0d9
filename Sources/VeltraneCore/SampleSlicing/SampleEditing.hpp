#pragma once

// A sample instrument's non-destructive edit applied to its decoded audio: trim, then reverse, then
// normalise, then fades. It runs once per sample and edit, when the sample is loaded, never per note.
// The loop and slice points of the same edit are fractions of the buffer this returns.

#include "VeltraneCore/Models/SampleEdit.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"

#include <cstdint>
#include <optional>

namespace veltrane {

/// Frames `start` up to `end` (exclusive) of a sample.
struct SampleStretch {
    std::int64_t start = 0;
    std::int64_t end = 0;

    friend bool operator==(const SampleStretch&, const SampleStretch&) = default;
};

/// The frames of a sample `frames` long that the edit's trim keeps, at least one; nothing for a sample
/// with no frames.
std::optional<SampleStretch> trimmedStretch(std::int64_t frames, const SampleEdit& edit);

/// The edited copy of `source`, in its sample rate and channel count. The trimmed stretch is at least
/// one frame long; a source with no frames gives a buffer with no frames.
SampleBuffer editSample(const SampleBuffer& source, const SampleEdit& edit);

/// The same edit made in the source's own storage, for a sample just decoded: no second copy of a
/// long sample is made (a short trim of a long one is copied once, to give the rest back).
SampleBuffer editSample(SampleBuffer&& source, const SampleEdit& edit);

} // namespace veltrane
