#pragma once

// The autosave file: one compact JSON object with the whole project under "project" and, when the
// edits belong to a document file, that file's path under "originalFilePath". A file holding a bare
// project is read too. A project read back passes the same version check and repair as an opened file,
// so what recovery offers is a project the rest may rely on.

#include "VeltraneCore/Models/Project.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace veltrane {

struct RecoverySnapshot {
    Project project;
    std::optional<std::filesystem::path> originalFile;
};

/// The file's bytes. Throws `ProjectError` for a number a file cannot carry.
std::string encodeRecoverySnapshot(const Project& project, const std::optional<std::filesystem::path>& originalFile);

/// The snapshot the bytes hold, or a bare project file as a snapshot without an original; nothing when
/// they hold neither, or a project that fails the version check or cannot be repaired.
std::optional<RecoverySnapshot> decodeRecoverySnapshot(std::string_view bytes);

/// `text`, pretty-printed JSON, without the white space between its tokens.
void compactJsonInPlace(std::string& text);

} // namespace veltrane
