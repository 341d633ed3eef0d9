#include "VeltraneCore/SampleSlicing/SamplePeaks.hpp"

#include <algorithm>

namespace veltrane {

std::vector<float> samplePeaks(std::span<const float> samples, int count)
{
    std::vector<float> peaks;
    // No caller asks for no buckets; an empty overview is the harmless answer to such a question.
    if (samples.empty() || count < 1) return peaks;
    const std::size_t frames = samples.size();
    const std::size_t size = std::max<std::size_t>(frames / static_cast<std::size_t>(count), 1);
    peaks.reserve(2 * ((frames + size - 1) / size));
    for (std::size_t start = 0; start < frames; start += size) {
        const std::size_t end = std::min(start + size, frames);
        float lowest = 1.0f;
        float highest = -1.0f;
        for (std::size_t i = start; i < end; ++i) {
            lowest = std::min(lowest, samples[i]);
            highest = std::max(highest, samples[i]);
        }
        peaks.push_back(lowest);
        peaks.push_back(highest);
    }
    return peaks;
}

} // namespace veltrane
