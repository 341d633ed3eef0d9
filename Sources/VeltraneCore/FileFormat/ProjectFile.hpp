#pragma once

// The project file (".veltrane"): one JSON document in UTF-8.
//
//     std::string bytes = encodeProject(project);   // what a save writes
//     Project opened = decodeProject(bytes);         // what an open reads
//
// Both are pure functions: no state, no files, any thread. Every failure is a `ProjectError` whose
// `what()` is the message for the user:
//   - encodeProject: `tooLarge` when the project breaks a load limit (ProjectLoadLimit.hpp), so that no
//     file is ever written that could not be opened again; `unencodableValue` for a NaN or infinite
//     Double. No bytes are produced then.
//   - decodeProject: `unreadable` for anything that is not a project document (not JSON, a wrong type, a
//     missing required member, an integer outside its field's type, a bad UUID, Base64 or name);
//     `unsupportedVersion` for a format version other than 0 and 1, checked once the whole document has
//     been read; `invalid` for a document that breaks the project's rules. A version-0 file reads as
//     version 1, and every project read is checked and repaired by `Project::normalize()`, so what it
//     returns is a project every other part may rely on.
//
// The text is laid out as nlohmann/json's two-space pretty print, each object's members in ascending
// byte order of their names; optional fields are written only when they hold a value; identifiers are
// upper-case UUIDs and data is padded Base64. See JsonWriter.hpp for numbers and strings.

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace veltrane {

/// The format version this build writes and fully understands.
inline constexpr int currentProjectVersion = projectFormatVersion;

/// The file's bytes. The "version" written is the project's own `version` field.
std::string encodeProject(const Project& project);

/// The project a file's bytes hold, version-checked, checked and repaired.
Project decodeProject(std::string_view bytes);

/// The project's object form as a JSON tree, for documents that carry a project as one of their members.
nlohmann::json projectToJson(const Project& project);

/// A project from its object form as it stands: neither the version is checked nor the project repaired.
/// Throws `ProjectError::unreadable`, or `invalid` for a pattern whose rows differ in length.
Project projectFromJson(const nlohmann::json& json);

} // namespace veltrane
