#include "Veltrane/Views/Inspector/SampleBrowserOrder.hpp"

#include "VeltraneCore/Text/CaseFold.hpp"

#include <algorithm>

namespace veltrane::inspector {

bool sampleBrowserMatches(const Instrument& instrument, const QString& search)
{
    if (search.isEmpty()) return true;
    const auto holds = [&](const std::string& text) { return QString::fromStdString(text).contains(search, Qt::CaseInsensitive); };
    if (holds(instrument.name)) return true;
    const auto& tags = instrument.tags;
    return tags && std::any_of(tags->begin(), tags->end(), holds);
}

std::vector<int> sampleBrowserOrder(const std::vector<Instrument>& instruments, const std::vector<int>& candidates,
                                    const QString& search)
{
    std::vector<int> listed;
    for (const int index : candidates) {
        if (index < 0 || index >= static_cast<int>(instruments.size())) continue;
        if (sampleBrowserMatches(instruments[static_cast<std::size_t>(index)], search)) listed.push_back(index);
    }
    std::stable_sort(listed.begin(), listed.end(), [&](int a, int b) {
        const Instrument& left = instruments[static_cast<std::size_t>(a)];
        const Instrument& right = instruments[static_cast<std::size_t>(b)];
        const bool leftFavourite = left.favorite.value_or(false);
        const bool rightFavourite = right.favorite.value_or(false);
        if (leftFavourite != rightFavourite) return leftFavourite;
        return compareCaseFolded(left.name, right.name) < 0;
    });
    return listed;
}

} // namespace veltrane::inspector
