#pragma once

namespace veltrane {

/// One stereo frame in double precision, as the per-note processors take and give it.
struct StereoFrame {
    double left = 0;
    double right = 0;

    friend bool operator==(const StereoFrame&, const StereoFrame&) = default;
};

} // namespace veltrane
