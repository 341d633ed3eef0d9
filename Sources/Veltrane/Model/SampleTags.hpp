#pragma once

// Tags from the text of a tags field: split at every comma, each piece trimmed of white space, empty
// pieces dropped; duplicates and letter case stay as typed.

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace veltrane {

inline std::vector<std::string> parseSampleTags(const std::string& text)
{
    std::vector<std::string> tags;
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        auto first = text.begin() + static_cast<std::ptrdiff_t>(start);
        auto last = text.begin() + static_cast<std::ptrdiff_t>(comma);
        first = std::find_if_not(first, last, blank);
        while (last > first && blank(static_cast<unsigned char>(*(last - 1)))) --last;
        if (first < last) tags.emplace_back(first, last);
        start = comma + 1;
    }
    return tags;
}

} // namespace veltrane
