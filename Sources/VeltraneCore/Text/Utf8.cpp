#include "VeltraneCore/Text/Utf8.hpp"

#include <cstdint>

namespace veltrane {

char32_t decodeUtf8(std::string_view text, std::size_t& position)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(position);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++position;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    }
    const auto invalid = [&] {
        ++position;
        return invalidUtf8Byte(lead);
    };
    if (length == 0 || length > text.size() - position) return invalid();
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t next = byte(position + i);
        if ((next & 0xC0) != 0x80) return invalid();
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return invalid();
    position += length;
    return value;
}

} // namespace veltrane
