#include "VeltraneCore/FileFormat/TextExcerpt.hpp"

#include "VeltraneCore/Text/Utf8.hpp"

#include <cstring>
#include <vector>

namespace veltrane::fileformat {

namespace {

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendPrintable(std::string& out, char32_t c)
{
    if (c > 0x10FFFF) {
        appendUtf8(out, 0xFFFD);
    } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029) {
        out.push_back(' ');
    } else {
        appendUtf8(out, c);
    }
}

constexpr std::string_view ellipsis = "\u2026";

} // namespace

std::string textExcerpt(std::string_view text, std::size_t maxCharacters)
{
    std::string out;
    std::size_t position = 0;
    for (std::size_t count = 0; position < text.size() && count < maxCharacters; ++count) {
        appendPrintable(out, decodeUtf8(text, position));
    }
    if (position < text.size()) out += ellipsis;
    return out;
}

TextLocation locate(std::string_view text, std::size_t offset)
{
    if (offset > text.size()) offset = text.size();
    TextLocation location;
    std::size_t lineStart = 0;
    for (const char* found = nullptr;
         (found = static_cast<const char*>(std::memchr(text.data() + lineStart, '\n', offset - lineStart))) != nullptr;) {
        ++location.line;
        lineStart = static_cast<std::size_t>(found - text.data()) + 1;
    }

    // The characters before the place: decoded from the line's start, or from a point a little before
    // the place on a very long line (a stray continuation byte there decodes as one invalid character,
    // which only the column count would notice, so the column is counted from the line's start).
    std::size_t position = lineStart;
    std::vector<std::size_t> starts; // byte positions of the last characters before the place
    std::size_t column = 1;
    while (position < offset) {
        starts.push_back(position);
        if (starts.size() > 2 * excerptCharacters) starts.erase(starts.begin(), starts.begin() + excerptCharacters);
        decodeUtf8(text, position);
        ++column;
    }
    location.column = column;
    const std::size_t first = starts.size() > excerptCharacters ? starts[starts.size() - excerptCharacters] : lineStart;

    std::string excerpt = first > lineStart ? std::string(ellipsis) : std::string();
    std::size_t at = first;
    // The character at the place may have begun before it (the place inside a sequence).
    while (at < text.size() && at < offset) appendPrintable(excerpt, decodeUtf8(text, at));
    for (std::size_t count = 0; at < text.size() && text[at] != '\n' && count < excerptCharacters; ++count) {
        appendPrintable(excerpt, decodeUtf8(text, at));
    }
    if (at < text.size() && text[at] != '\n') excerpt += ellipsis;
    location.excerpt = std::move(excerpt);
    return location;
}

std::string TextLocation::description() const
{
    std::string text = "line " + std::to_string(line) + ", column " + std::to_string(column);
    if (!excerpt.empty()) text += ", near \u201C" + excerpt + "\u201D";
    return text;
}

} // namespace veltrane::fileformat
