#include "Veltrane/Model/RecoverySnapshot.hpp"

#include "VeltraneCore/FileFormat/JsonWriter.hpp"
#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/FileFormat/ProjectWriting.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"

#include <nlohmann/json.hpp>

namespace veltrane {

void compactJsonInPlace(std::string& text)
{
    std::size_t out = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            continue;
        }
        text[out++] = c;
    }
    text.resize(out);
}

std::string encodeRecoverySnapshot(const Project& project, const std::optional<std::filesystem::path>& originalFile)
{
    // Written by the project's own streaming writer and then compacted, so that a project of hundreds of
    // megabytes is never built as a JSON tree.
    std::string text;
    JsonWriter writer(text);
    writer.beginObject();
    if (originalFile) {
        writer.key("originalFilePath");
        writer.string(originalFile->string());
    }
    writer.key("project");
    writeProject(writer, project);
    writer.endObject();
    writer.flush();
    compactJsonInPlace(text);
    return text;
}

namespace {

/// The project as an opened file would be: version 0 read as 1, any other version refused, then checked
/// and repaired.
std::optional<Project> checkedProject(Project project)
{
    if (project.version == 0) project.version = projectFormatVersion;
    if (project.version != projectFormatVersion) return std::nullopt;
    try {
        project.normalize();
    } catch (const ProjectError&) {
        return std::nullopt;
    }
    return project;
}

std::optional<RecoverySnapshot> snapshotForm(std::string_view bytes)
{
    const auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    const auto projectMember = json.find("project");
    if (projectMember == json.end()) return std::nullopt;

    RecoverySnapshot snapshot;
    if (const auto path = json.find("originalFilePath"); path != json.end() && !path->is_null()) {
        if (!path->is_string()) return std::nullopt;
        snapshot.originalFile = std::filesystem::path(path->get<std::string>());
    }
    try {
        snapshot.project = projectFromJson(*projectMember);
    } catch (const ProjectError&) {
        return std::nullopt;
    }
    return snapshot;
}

} // namespace

std::optional<RecoverySnapshot> decodeRecoverySnapshot(std::string_view bytes)
{
    if (auto snapshot = snapshotForm(bytes)) {
        auto project = checkedProject(std::move(snapshot->project));
        if (!project) return std::nullopt;
        snapshot->project = std::move(*project);
        return snapshot;
    }
    try {
        return RecoverySnapshot{decodeProject(bytes), std::nullopt};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace veltrane
