#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veltrane {

/// 32-bit FNV-1a over raw bytes. A hosted plug-in's four-character codes are hashes of its URI and of
/// the URI's authority, so the same plug-in gets the same codes on every machine and in every build.
constexpr std::uint32_t fnv1a32(std::span<const std::uint8_t> bytes) noexcept
{
    std::uint32_t hash = 0x811c9dc5u;
    for (std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= 0x01000193u;
    }
    return hash;
}

/// The same hash over the bytes of a string (UTF-8 is hashed as it is, never normalised).
constexpr std::uint32_t fnv1a32(std::string_view text) noexcept
{
    std::uint32_t hash = 0x811c9dc5u;
    for (char c : text) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 0x01000193u;
    }
    return hash;
}

} // namespace veltrane
