#pragma once

// Writes the project's JSON form: every document type as the object the project file holds, members in
// ascending order of their names, optional fields only when they hold a value.

#include "VeltraneCore/FileFormat/JsonWriter.hpp"
#include "VeltraneCore/Models/Project.hpp"

namespace veltrane {

/// Throws `ProjectError::unencodableValue` at the first NaN or infinite Double; what was written by then
/// is incomplete and must be dropped.
void writeProject(JsonWriter& writer, const Project& project);

} // namespace veltrane
