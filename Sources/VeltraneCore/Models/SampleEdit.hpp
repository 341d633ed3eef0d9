#pragma once

#include <optional>
#include <vector>

namespace veltrane {

/// The non-destructive edit of a sample instrument. Every position is a fraction of the sample's
/// length, 0 to 1. `SampleEdit{}` is the neutral edit: the whole sample, no fades, every flag off.
struct SampleEdit {
    double trimStart = 0;
    double trimEnd = 1;
    double fadeIn = 0;
    double fadeOut = 0;
    bool reversed = false;
    bool normalized = false;
    bool loop = false;
    std::optional<double> loopStart;
    std::optional<double> loopEnd;
    std::optional<std::vector<double>> slicePoints;
    std::optional<bool> snapToZeroCrossings;
    std::optional<double> loopCrossfade; // 0 to 0.25

    friend bool operator==(const SampleEdit&, const SampleEdit&) = default;
};

} // namespace veltrane
