#pragma once

#include <cstddef>
#include <string_view>

namespace veltrane {

/// Stands in for a byte that starts no valid UTF-8 sequence: above U+10FFFF, so it never equals a
/// character, and distinct for each byte value.
constexpr char32_t invalidUtf8Byte(unsigned char byte) { return 0x110000 + byte; }

/// Decodes the code point that starts at `position` (which must lie inside `text`) and moves `position`
/// past it. Overlong forms, surrogates, values above U+10FFFF and cut-off sequences are invalid: the
/// first byte alone is consumed and `invalidUtf8Byte` of it returned, so any bytes decode without failing.
char32_t decodeUtf8(std::string_view text, std::size_t& position);

} // namespace veltrane
