#pragma once

#include <compare>
#include <string_view>

namespace veltrane {

/// The code point `c` folds to under Unicode simple case folding ('A' to 'a', 'Σ' and 'ς' to 'σ',
/// 'ẞ' to 'ß'); every other code point is itself. Independent of the machine's locale.
char32_t simpleCaseFold(char32_t c) noexcept;

/// Orders two UTF-8 texts the way case-insensitive lists are sorted: code point by code point after
/// simple case folding, and texts that fold equal by their bytes, so the order is total and the same
/// on every machine. A byte that is not part of valid UTF-8 counts as a code point of its own that
/// sorts after every character.
std::strong_ordering compareCaseFolded(std::string_view a, std::string_view b) noexcept;

/// `compareCaseFolded(a, b) < 0`, for std::sort and ordered containers.
struct CaseFoldedLess {
    bool operator()(std::string_view a, std::string_view b) const noexcept { return compareCaseFolded(a, b) < 0; }
};

} // namespace veltrane
