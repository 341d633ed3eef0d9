#include "VeltranePlatform/Files/Bookmark.hpp"

#include <string>

namespace veltrane {

Data bookmarkForPath(const std::filesystem::path& path)
{
    return Data(std::string(bookmarkPrefix) + std::filesystem::absolute(path).lexically_normal().string());
}

std::optional<std::filesystem::path> resolveBookmark(const Data& bookmark)
{
    const std::string text = bookmark.toString();
    if (!text.starts_with(bookmarkPrefix)) return std::nullopt;
    const std::string path = text.substr(bookmarkPrefix.size());
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return std::nullopt;
    return std::filesystem::path(path);
}

} // namespace veltrane
