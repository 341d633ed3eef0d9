#pragma once

// The project's pattern list and the song that plays it. `Project::addPattern`, `removePattern` and
// `syncOrderFromArrangement` are declared in Project.hpp and defined in PatternList.cpp.

#include "VeltraneCore/Models/SongArrangement.hpp"

#include <vector>

namespace veltrane {

/// The flat pattern order a song plays: each block's pattern index, `repeats` times, block after block.
/// A block with no or negative repeats adds nothing.
std::vector<int> expandedOrder(const SongArrangement& arrangement);

} // namespace veltrane
