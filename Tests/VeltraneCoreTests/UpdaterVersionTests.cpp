#include "VeltraneCore/Updater/Updater.hpp"

#include <gtest/gtest.h>

#include <string_view>

using veltrane::Updater::isNewer;

namespace {

struct VersionCase {
    std::string_view candidate;
    std::string_view current;
    bool newer;
};

constexpr VersionCase kVersionCases[] = {
    // Numbers compare by value, part by part, a missing part counting as 0.
    {"1.10", "1.9", true},
    {"1.9", "1.10", false},
    {"2", "1.9.9", true},
    {"1.2.0.1", "1.2", true},
    {"1.2.0", "1.2", false},
    {"1.2", "1.2.0", false},
    {"01.2", "1.2", false},
    {"1.2", "1.2", false},
    {"1.1", "1.2", false},
    {"0.1.1", "0.1.0", true},
    {"9223372036854775807", "9223372036854775806", true},
    // Text that is not a dot-separated list of numbers is never newer, on either side.
    {"", "1.0", false},
    {"2.0", "", false},
    {"2..0", "1.0", false},
    {".2", "1.0", false},
    {"2.", "1.0", false},
    {"2.0", "1..0", false},
    {"2.0-beta", "1.0", false},
    {"v2.0", "1.0", false},
    {" 2.0", "1.0", false},
    {"2.0 ", "1.0", false},
    {"2.0", "1.0 ", false},
    {"+2", "1", false},
    {"-2", "1", false},
    {"2", "Development", false},
    {"999", "Development", false},
    // Number characters of other scripts pass the check but are left out of the comparison, and the parts
    // after them move up one place.
    {"2.\u0663", "1.9", true},           // Arabic-Indic three: compares as "2"
    {"1.\u00B2", "1", false},            // superscript two: compares as "1"
    {"1.\u2167.5", "1.4", true},         // Roman numeral eight: compares as "1.5"
    {"1.\u00BD", "1.0", false},          // vulgar fraction one half: compares as "1"
    {"99999999999999999999.2", "1", true}, // too large for 64 bits: compares as "2"
    {"1.a\u0663", "1", false},
};

} // namespace

TEST(UpdaterVersion, ComparesTheseVersions)
{
    for (const auto& [candidate, current, newer] : kVersionCases)
        EXPECT_EQ(isNewer(candidate, current), newer) << "\"" << candidate << "\" against \"" << current << "\"";
}

TEST(UpdaterVersion, NothingIsNewerThanItselfAndNewerIsOneWay)
{
    constexpr std::string_view kVersions[] = {"0", "1", "1.0", "1.2.3", "1.10", "01.2", "10.0.0.0.1"};
    for (const auto a : kVersions) {
        EXPECT_FALSE(isNewer(a, a)) << a;
        for (const auto b : kVersions)
            EXPECT_FALSE(isNewer(a, b) && isNewer(b, a)) << a << " and " << b;
    }
}
