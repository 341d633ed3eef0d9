#include "VeltranePlatform/Files/Bookmark.hpp"

#include <string>

namespace veltrane {

std::vector<std::uint8_t> bookmarkForPath(const std::filesystem::path& path)
{
    const std::string text = std::string(bookmarkPrefix) + std::filesystem::absolute(path).lexically_normal().string();
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::optional<std::filesystem::path> resolveBookmark(std::span<const std::uint8_t> bookmark)
{
    const std::string text(bookmark.begin(), bookmark.end());
    if (!text.starts_with(bookmarkPrefix)) return std::nullopt;
    const std::string path = text.substr(bookmarkPrefix.size());
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return std::nullopt;
    return std::filesystem::path(path);
}

} // namespace veltrane
