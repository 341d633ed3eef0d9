#pragma once

// Standard Base64 (the RFC 4648 alphabet with "=" padding, no line breaks): how a project file carries
// bookmarks, embedded sample bytes and saved plug-in states.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

std::string base64Encoded(std::span<const std::uint8_t> bytes);

/// The bytes of a padded Base64 text, or nothing when the text is not one: a length that is not a
/// multiple of four, a character outside the alphabet (white space and line breaks included), or "="
/// anywhere but in the last two places.
std::optional<std::vector<std::uint8_t>> base64Decoded(std::string_view text);

} // namespace veltrane
