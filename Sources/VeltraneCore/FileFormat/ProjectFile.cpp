#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include "VeltraneCore/FileFormat/JsonWriter.hpp"
#include "VeltraneCore/FileFormat/ProjectDocumentParser.hpp"
#include "VeltraneCore/Models/ProjectLoadLimit.hpp"
#include "VeltraneCore/FileFormat/ProjectReading.hpp"
#include "VeltraneCore/FileFormat/ProjectWriting.hpp"

namespace veltrane {

namespace {

/// Room for the text of a project, a little more than most projects take. Reserving it at once spares
/// the copies of a string that grows step by step; room that is never written costs no memory.
std::size_t estimatedTextSize(const Project& project)
{
    std::size_t cells = 0;
    for (const auto& pattern : project.patterns) {
        cells += static_cast<std::size_t>(pattern.cells.rowCount()) * static_cast<std::size_t>(pattern.cells.channelCount());
    }
    return 64 * 1024 + cells * 512 + storedDataBytes(project) / 3 * 4 + project.instruments.size() * 1024;
}

std::string projectText(const Project& project)
{
    std::string text;
    text.reserve(estimatedTextSize(project));
    JsonWriter writer(text);
    writeProject(writer, project);
    writer.flush();
    return text;
}

} // namespace

std::string encodeProject(const Project& project)
{
    if (const auto excess = loadLimitExcess(project)) throw ProjectError::tooLarge(excess->description());
    return projectText(project);
}

Project decodeProject(std::string_view bytes)
{
    auto result = fileformat::readProjectText(bytes);

    // The version is looked at only once the whole document has been read: a newer file that no longer
    // reads as a project says so, rather than naming its version.
    if (result.version == 0) {
        result.project.version = currentProjectVersion;
    } else if (result.version != currentProjectVersion) {
        throw ProjectError::unsupportedVersion(result.version);
    }
    if (result.hasRaggedGrid) throw ProjectError::invalid();
    result.project.normalize();
    return std::move(result.project);
}

nlohmann::json projectToJson(const Project& project) { return nlohmann::json::parse(projectText(project)); }

Project projectFromJson(const nlohmann::json& json)
{
    auto result = fileformat::readProject(json, nullptr);
    if (result.hasRaggedGrid) throw ProjectError::invalid();
    return std::move(result.project);
}

} // namespace veltrane
