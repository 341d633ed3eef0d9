#include "VeltraneCore/SampleSlicing/SampleSlices.hpp"

#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane {

namespace {

// A count of frames from a product of seconds and a rate, fraction dropped. Absurd rates are held to a
// count no sample reaches, so the conversion stays defined.
std::int64_t truncatedFrames(double frames)
{
    if (!(frames > 0)) return 0;
    constexpr double limit = 4611686018427387904.0; // 2^62
    return frames >= limit ? static_cast<std::int64_t>(limit) : static_cast<std::int64_t>(frames);
}

} // namespace

std::optional<SampleSliceBounds> sampleSliceBounds(std::span<const double> points, std::int64_t index)
{
    std::vector<double> bounds{0.0};
    for (const double point : points) {
        if (point > 0 && point < 1) bounds.push_back(point);
    }
    bounds.push_back(1.0);
    std::sort(bounds.begin() + 1, bounds.end() - 1);
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

    if (index < 0 || index + 1 >= static_cast<std::int64_t>(bounds.size())) return std::nullopt;
    const auto at = static_cast<std::size_t>(index);
    return SampleSliceBounds{bounds[at], bounds[at + 1]};
}

std::vector<double> detectTransientSlices(std::span<const float> samples, double sampleRate, double sensitivity,
                                          int maximumSlices)
{
    const auto count = static_cast<std::int64_t>(samples.size());
    if (count < 256 || !(sampleRate > 0) || maximumSlices < 2) return {};

    // Windows of 6 ms, half overlapping; very low rates still get 32-frame windows.
    std::int64_t window = truncatedFrames(sampleRate * 0.006);
    std::int64_t hop = window / 2;
    if (window < 32) {
        window = 32;
        hop = 16;
    }

    std::vector<double> energies;
    for (std::int64_t start = 0; start + window <= count; start += hop) {
        double sum = 0;
        for (std::int64_t i = start; i < start + window; ++i) {
            const float sample = samples[static_cast<std::size_t>(i)];
            sum += sample * sample;
        }
        energies.push_back(std::sqrt(sum / static_cast<double>(window)));
    }
    if (energies.size() < 4) return {};
    const double loudest = *std::max_element(energies.begin(), energies.end());
    if (!(loudest > 0.0001)) return {};

    const double factor = sensitivity >= 0 ? std::min(sensitivity, 1.0) * 0.26 + 0.04 : 0.04;
    const double threshold = factor * loudest;
    // Two onsets closer than 45 ms are one hit.
    const std::int64_t spacing = std::max<std::int64_t>(1, truncatedFrames(sampleRate * 0.045) / hop);

    struct Candidate {
        std::int64_t index;
        double strength;
    };
    std::vector<Candidate> candidates;
    std::int64_t lastAccepted = -spacing;
    for (std::size_t i = 1; i < energies.size(); ++i) {
        const double rise = energies[i] - energies[i - 1];
        // Compared with the window two hops back, the last one that does not overlap this one.
        const double before = energies[i >= 2 ? i - 2 : 0];
        if (!(rise >= threshold && energies[i] > 1.35 * before)) continue;
        const auto index = static_cast<std::int64_t>(i);
        if (index - lastAccepted >= spacing) {
            candidates.push_back({index, rise});
            lastAccepted = index;
        } else if (!candidates.empty() && rise > candidates.back().strength) {
            candidates.back() = {index, rise};
            lastAccepted = index;
        }
    }

    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.strength > b.strength; });
    if (candidates.size() > static_cast<std::size_t>(maximumSlices - 1)) {
        candidates.resize(static_cast<std::size_t>(maximumSlices - 1));
    }

    std::vector<double> points;
    points.reserve(candidates.size());
    for (const Candidate& candidate : candidates) {
        points.push_back(std::min(static_cast<double>(candidate.index * hop) / static_cast<double>(count), 0.999));
    }
    std::sort(points.begin(), points.end());
    return points;
}

double snapSamplePositionToZeroCrossing(std::span<const float> samples, double position, double sampleRate,
                                        double radiusSeconds)
{
    const auto count = static_cast<std::int64_t>(samples.size());
    if (count <= 2 || !std::isfinite(position) || !(sampleRate > 0)) {
        return std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 1.0);
    }
    const double countAsDouble = static_cast<double>(count);
    // Held in floating point first so a far-off position never overflows the conversion.
    const std::int64_t centre =
        roundHalfAwayFromZero(std::clamp(position * countAsDouble, 1.0, countAsDouble - 1));
    const double radiusFrames = sampleRate * (radiusSeconds > 0 ? radiusSeconds : 0.0);
    const std::int64_t radius =
        std::max<std::int64_t>(1, roundHalfAwayFromZero(std::min(radiusFrames, countAsDouble)));
    const std::int64_t first = std::max<std::int64_t>(centre - radius, 1);
    const std::int64_t last = std::min(centre + radius, count - 1);

    const auto at = [&](std::int64_t i) { return samples[static_cast<std::size_t>(i)]; };
    std::optional<std::int64_t> crossing;
    std::int64_t quietest = first;
    for (std::int64_t i = first; i <= last; ++i) {
        const float previous = at(i - 1);
        const float current = at(i);
        if (previous == 0 || current == 0 || (previous < 0) != (current < 0)) {
            // Scanning forwards, a later crossing only wins when strictly nearer: ties keep the earlier.
            if (!crossing || std::abs(i - centre) < std::abs(*crossing - centre)) crossing = i;
        }
        if (std::abs(current) < std::abs(at(quietest))) quietest = i;
    }
    const std::int64_t chosen = crossing.value_or(quietest);
    return std::clamp(static_cast<double>(chosen) / countAsDouble, 0.0, 1.0);
}

} // namespace veltrane
