#include "VeltraneCore/Models/PatternList.hpp"

#include "VeltraneCore/Models/Project.hpp"

#include <algorithm>
#include <string>

namespace veltrane {

std::vector<int> expandedOrder(const SongArrangement& arrangement)
{
    std::vector<int> order;
    for (const auto& block : arrangement.blocks) {
        // Editing keeps repeats at 1 or more; a negative count would otherwise become a huge size here.
        order.insert(order.end(), static_cast<std::size_t>(std::max(block.repeats, 0)), block.pattern);
    }
    return order;
}

int Project::addPattern(std::optional<int> cloning)
{
    const int index = static_cast<int>(patterns.size());
    Pattern added;
    if (cloning && *cloning >= 0 && *cloning < index) {
        // The copy shares the source's grid until either is edited.
        added = patterns[static_cast<std::size_t>(*cloning)];
        added.id = Uuid::random();
        added.name += " Copy";
    } else {
        const bool hasFirst = !patterns.empty();
        added = Pattern("Pattern " + std::to_string(index + 1), hasFirst ? patterns.front().rows : 64,
                        hasFirst ? patterns.front().channels : 8);
    }
    patterns.push_back(std::move(added));
    return index;
}

void Project::removePattern(int index)
{
    const int count = static_cast<int>(patterns.size());
    if (count < 2 || index < 0 || index >= count) return;
    patterns.erase(patterns.begin() + index);

    const int newCount = count - 1;
    const auto renumbered = [&](int entry) {
        if (entry > index) return entry - 1;
        if (entry == index) return std::min(index, newCount - 1);
        return entry;
    };
    for (int& entry : order) entry = renumbered(entry);
    if (arrangement) {
        // The order was renumbered by the same rule, so it still matches the blocks' expansion.
        for (auto& block : arrangement->blocks) block.pattern = renumbered(block.pattern);
    }
}

void Project::syncOrderFromArrangement()
{
    if (arrangement) order = expandedOrder(*arrangement);
}

} // namespace veltrane
