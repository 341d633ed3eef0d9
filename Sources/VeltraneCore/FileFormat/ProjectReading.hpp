#pragma once

// Reads the project's JSON form into document values: required members must be present and not null,
// optional members may be absent or null, unknown members are ignored. No range narrower than a field's
// type is checked here and the format version is not looked at: that is for the caller.

#include "VeltraneCore/FileFormat/CodingPath.hpp"
#include "VeltraneCore/FileFormat/JsonReading.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>
#include <vector>

namespace veltrane::fileformat {

/// Rows of cells already read by the streaming parser. A pattern whose grid was read that way holds, in
/// place of its "cells" array, a binary value (a kind JSON text cannot produce) whose subtype is the
/// grid's index in this list.
using ParsedGrids = std::vector<std::vector<std::vector<Cell>>>;

struct ProjectReadResult {
    Project project;
    /// The "version" member exactly as written (the project's own field holds it saturated to `int`).
    std::int64_t version = 0;
    /// True when a pattern's rows of cells differ in length. No `Pattern` can hold such a grid, and no
    /// project with one passes the load check: the caller refuses the project.
    bool hasRaggedGrid = false;
};

/// Throws `ProjectError::unreadable`. `grids` may be null when `root` is a plain JSON tree.
ProjectReadResult readProject(const Json& root, ParsedGrids* grids);

/// One row of a pattern's grid, found at `path`.
std::vector<Cell> readCellRow(const Json& row, const CodingPath& path);

} // namespace veltrane::fileformat
