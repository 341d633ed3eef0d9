#include "VeltraneCore/Text/CaseFold.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace veltrane;

TEST(CaseFold, FoldsEachCodePointBySimpleCaseFolding)
{
    const struct {
        char32_t from;
        char32_t to;
    } cases[] = {
        {U'A', U'a'},     {U'z', U'z'},         {U'1', U'1'},
        {U'\u00C9', U'\u00E9'},  // É
        {U'\u03A3', U'\u03C3'},  // Σ
        {U'\u03C2', U'\u03C3'},  // final ς folds with σ
        {U'\u1E9E', U'\u00DF'},  // capital sharp s to ß, not to "ss" (that is full folding)
        {U'\u00DF', U'\u00DF'},
        {U'\u212A', U'k'},       // Kelvin sign
        {U'\u0130', U'\u0130'},  // dotted capital I folds only under Turkic or full folding
        {U'\u0416', U'\u0436'},  // Ж
        {U'\U00010400', U'\U00010428'},  // Deseret, outside the basic plane
        {U'\U0010FFFF', U'\U0010FFFF'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(simpleCaseFold(c.from), c.to) << std::hex << std::uint32_t(c.from);
}

TEST(CaseFold, FoldingTwiceChangesNothing)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        ASSERT_EQ(simpleCaseFold(simpleCaseFold(c)), simpleCaseFold(c)) << std::hex << std::uint32_t(c);
}

TEST(CaseFold, ComparesFoldedThenByBytes)
{
    const struct {
        const char* a;
        const char* b;
        std::strong_ordering order;
    } cases[] = {
        {"alpha", "Beta", std::strong_ordering::less},
        {"beta", "Alpha", std::strong_ordering::greater},
        {"Alpha", "alpha", std::strong_ordering::less},  // equal folded: bytes decide
        {"alpha", "alpha", std::strong_ordering::equal},
        {"abc", "ABCD", std::strong_ordering::less},
        {"\xC3\x89" "clair", "\xC3\xA9" "clair", std::strong_ordering::less},   // Éclair, éclair
        {"\xC3\x89" "CLAIR", "zebra", std::strong_ordering::greater},           // é after z, whatever the locale
        {"\xCE\xA3\xCE\xB1", "\xCF\x83\xCE\xB1", std::strong_ordering::less},   // Σα, σα
        {"stra\xC3\x9F" "e", "STRASSE", std::strong_ordering::greater},         // ß is not "ss"
        {"a\xFF", "a\xC3\xBF", std::strong_ordering::greater},  // a stray byte after every character
        {"a\xC3", "a\xC3\x89", std::strong_ordering::greater},  // a truncated sequence too
        {"\xC0\x81", "A", std::strong_ordering::greater},       // an overlong 'A' is no 'A'
        {"", "a", std::strong_ordering::less},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareCaseFolded(c.a, c.b), c.order) << c.a << " / " << c.b;
        EXPECT_EQ(compareCaseFolded(c.b, c.a), 0 <=> (c.order <=> 0)) << c.b << " / " << c.a;
    }
}

TEST(CaseFold, SortsManufacturersCaseInsensitively)
{
    std::vector<std::string> names = {"Beta", "alpha", "Alpha", "\xC3\xA9tude", "Zed", "\xC3\x89tude"};
    std::sort(names.begin(), names.end(), CaseFoldedLess{});
    const std::vector<std::string> expected = {"Alpha", "alpha", "Beta", "Zed", "\xC3\x89tude", "\xC3\xA9tude"};
    EXPECT_EQ(names, expected);
}
