#include "VeltraneCore/Tracker/TrackerVoice.hpp"

#include <algorithm>
#include <limits>

namespace veltrane {

int allocateTrackerVoice(std::span<std::int64_t> availability, std::int64_t start, std::int64_t end)
{
    if (availability.empty()) return -1;
    std::size_t chosen = 0;
    const auto firstFree = std::find_if(availability.begin(), availability.end(),
                                        [start](std::int64_t busyUntil) { return start >= busyUntil; });
    if (firstFree != availability.end()) {
        chosen = static_cast<std::size_t>(firstFree - availability.begin());
    } else {
        // min_element keeps the first of equal frames: the lowest index among voices freeing together.
        chosen = static_cast<std::size_t>(std::min_element(availability.begin(), availability.end()) -
                                          availability.begin());
    }
    // A start at the very end of the frame range cannot hold its voice one frame longer.
    const auto afterStart = start == std::numeric_limits<std::int64_t>::max() ? start : start + 1;
    availability[chosen] = std::max(afterStart, end);
    return static_cast<int>(chosen);
}

} // namespace veltrane
