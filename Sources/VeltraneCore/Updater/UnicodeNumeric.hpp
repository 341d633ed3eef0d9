#pragma once

namespace veltrane {

/// Whether the code point is a number in any script: ASCII and other decimal digits, superscript and
/// subscript digits, vulgar fractions, Roman numerals and the like (general category N).
bool isUnicodeNumeric(char32_t codePoint);

} // namespace veltrane
