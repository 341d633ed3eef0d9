#include "VeltraneCore/Text/Fnv1a.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using namespace veltrane;

TEST(Fnv1a, MatchesThePublishedTestVectors)
{
    const struct {
        const char* text;
        std::uint32_t hash;
    } cases[] = {
        {"", 0x811c9dc5u},
        {"a", 0xe40c292cu},
        {"foobar", 0xbf9cf968u},
        // A plug-in's manufacturer and subtype codes, worked out independently.
        {"drobilla.net", 0x7f12013du},
        {"http://drobilla.net/plugins/mda/JX10", 0xe38e1e4bu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fnv1a32(c.text), c.hash) << c.text;
}

TEST(Fnv1a, HashesBytesAndTextAlike)
{
    // Bytes above 0x7f must not be sign-extended when a char is signed.
    const std::array<std::uint8_t, 4> bytes{0x61, 0xc3, 0xa9, 0xff};
    const std::string_view text("a\xc3\xa9\xff", 4);
    EXPECT_EQ(fnv1a32(bytes), fnv1a32(text));
    static_assert(fnv1a32(std::string_view("a")) == 0xe40c292cu, "usable in constant expressions");
}
