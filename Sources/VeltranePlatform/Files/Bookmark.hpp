#pragma once

// A sample file remembered by a project: the bytes "veltrane-path:" followed by the file's absolute path
// in UTF-8. Bookmarks made by other programs or platforms do not resolve; their samples are missing
// (silent, and reported), never a crash.
//
//     std::vector<std::uint8_t> bookmark = bookmarkForPath("/home/me/kick.wav");
//     std::optional<std::filesystem::path> path = resolveBookmark(bookmark);   // "/home/me/kick.wav"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace veltrane {

inline constexpr std::string_view bookmarkPrefix = "veltrane-path:";

/// The bookmark of `path`, made absolute against the working folder when it is relative.
std::vector<std::uint8_t> bookmarkForPath(const std::filesystem::path& path);

/// The absolute path a bookmark names. Nothing for bytes without our prefix, for a path that is not
/// absolute, and for one holding a NUL byte (which the system would cut short at a different file).
/// Whether the file exists is not checked here.
std::optional<std::filesystem::path> resolveBookmark(std::span<const std::uint8_t> bookmark);

} // namespace veltrane
