#pragma once

// Repair of a project read from a file: `Project::normalize()` is declared in Project.hpp and defined in
// ProjectRepair.cpp. This header holds the part of it that editing shares: the tidying of instrument tags.

#include "VeltraneCore/Models/Project.hpp"

#include <string>
#include <vector>

namespace veltrane {

/// Tags as a project keeps them: each trimmed of surrounding white space and line breaks, empty ones
/// dropped, ones that differ only in case merged (the first spelling wins), sorted case-insensitively.
std::vector<std::string> normalizedTags(const std::vector<std::string>& tags);

} // namespace veltrane
