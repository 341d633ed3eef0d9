#pragma once

// A sample's overview at every level of detail, made once: the finest level is the overview the engine
// computed, (minimum, maximum) pairs in time order, and each coarser level joins two neighbouring pairs
// of the one below. A picture of any part of the sample at any width reads the coarsest level that still
// gives a pair per pixel, so drawing costs the width in pixels, never the length of the sample.
//
//     WaveformLevels levels(peaks);             // pairs of the finest level
//     auto pairs = levels.levelFor(0.25, 0.5, 800);  // a level with at least 800 pairs over that part

#include <span>
#include <vector>

namespace veltrane::inspector {

class WaveformLevels {
public:
    WaveformLevels() = default;
    /// `pairs`: minimum and maximum of each column, finest first; a trailing odd value is ignored.
    explicit WaveformLevels(std::vector<float> pairs);

    /// Pairs of the finest level; none for an empty overview.
    int finestPairCount() const { return levels_.empty() ? 0 : static_cast<int>(levels_.front().size() / 2); }
    int levelCount() const { return static_cast<int>(levels_.size()); }
    /// The values of `level` (0 the finest), two per pair.
    std::span<const float> level(int level) const { return levels_.at(static_cast<std::size_t>(level)); }
    /// The coarsest level with at least `columns` pairs between the fractions `start` and `end` of the
    /// sample (the finest when none has that many).
    std::span<const float> levelFor(double start, double end, int columns) const;

private:
    std::vector<std::vector<float>> levels_;
};

} // namespace veltrane::inspector
