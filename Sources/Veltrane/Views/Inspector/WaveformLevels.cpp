#include "Veltrane/Views/Inspector/WaveformLevels.hpp"

#include <algorithm>

namespace veltrane::inspector {

WaveformLevels::WaveformLevels(std::vector<float> pairs)
{
    pairs.resize(pairs.size() / 2 * 2);
    if (pairs.empty()) return;
    levels_.push_back(std::move(pairs));
    while (levels_.back().size() > 4) {
        const auto& finer = levels_.back();
        std::vector<float> coarser;
        coarser.reserve(finer.size() / 2 + 2);
        for (std::size_t i = 0; i < finer.size(); i += 4) {
            float minimum = finer[i];
            float maximum = finer[i + 1];
            if (i + 3 < finer.size()) {
                minimum = std::min(minimum, finer[i + 2]);
                maximum = std::max(maximum, finer[i + 3]);
            }
            coarser.push_back(minimum);
            coarser.push_back(maximum);
        }
        levels_.push_back(std::move(coarser));
    }
}

std::span<const float> WaveformLevels::levelFor(double start, double end, int columns) const
{
    if (levels_.empty()) return {};
    const double part = std::clamp(end - start, 0.0, 1.0);
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
        if (static_cast<double>(level->size() / 2) * part >= columns) return *level;
    }
    return levels_.front();
}

} // namespace veltrane::inspector
