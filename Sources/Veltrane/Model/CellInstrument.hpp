#pragma once

// The instrument index an edit may write into a cell. A cell that names an instrument the project does
// not have makes the project unloadable, so every edit that writes one (note entry, hexadecimal entry,
// recording, fills, locks) goes through this.

#include "VeltraneCore/Models/Project.hpp"

#include <algorithm>
#include <optional>

namespace veltrane {

/// `requested` held to the project's instruments (a stale selection names the last one); nothing when
/// the project has none.
inline std::optional<int> cellInstrumentIndex(const Project& project, int requested)
{
    if (project.instruments.empty()) return std::nullopt;
    return std::clamp(requested, 0, static_cast<int>(project.instruments.size()) - 1);
}

} // namespace veltrane
