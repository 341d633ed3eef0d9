#pragma once

// Short, printable pieces of a file's text for error messages. A damaged file may hold anything (a
// gigabyte on one line, bytes that are no UTF-8 at all), but a message shown to the user stays a line
// of valid UTF-8: at most a few dozen characters, invalid bytes shown as U+FFFD and control characters
// as spaces, a cut marked with "…".

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrane::fileformat {

inline constexpr std::size_t excerptCharacters = 24;
inline constexpr std::size_t quotedCharacters = 40;

/// The first `maxCharacters` characters of `text`, printable; "…" added when it was longer.
std::string textExcerpt(std::string_view text, std::size_t maxCharacters = quotedCharacters);

struct TextLocation {
    /// From 1.
    std::size_t line = 1;
    /// From 1, in characters (an invalid byte counts as one).
    std::size_t column = 1;
    /// Up to `excerptCharacters` characters before the place and as many from it on, within its line.
    std::string excerpt;

    /// "line 3, column 17, near “"bpm": 12x4,”".
    std::string description() const;
};

/// Where byte `offset` of `text` lies (`text.size()` for its end). Reads the text up to the offset once.
TextLocation locate(std::string_view text, std::size_t offset);

} // namespace veltrane::fileformat
