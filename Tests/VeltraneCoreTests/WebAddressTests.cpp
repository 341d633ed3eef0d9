#include "VeltraneCore/Updater/WebAddress.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

using veltrane::WebAddress;
using veltrane::parseWebAddress;

TEST(WebAddress, ReadsTheSchemeAndHost)
{
    const struct {
        std::string_view text;
        std::optional<WebAddress> address;
    } kCases[] = {
        {"https://dl.tavix.example/veltrane/1.3.zip", WebAddress{"https", "dl.tavix.example"}},
        {"https://user:pw@h:8443/x?y#z", WebAddress{"https", "h"}},
        {"https://[::1]:8443/x", WebAddress{"https", "::1"}},
        {"https://h", WebAddress{"https", "h"}},
        {"https://h:/x", WebAddress{"https", "h"}},
        {"HTTPS://h/x", WebAddress{"HTTPS", "h"}},
        {"https:///x", WebAddress{"https", ""}},
        {"https:x", WebAddress{"https", ""}},
        {"https://h/%41", WebAddress{"https", "h"}},
        {"", std::nullopt},
        {"h/x.zip", std::nullopt},
        {"://h/x", std::nullopt},
        {"1https://h/x", std::nullopt},
        {"https://h:80x/x", std::nullopt},
        {"https://[::1/x", std::nullopt},
        {"https://h/x y", std::nullopt},
        {"https://h/x\n", std::nullopt},
        {"https://h/\xC3\xA9", std::nullopt},
        {"https://h/%4", std::nullopt},
        {"https://h/\"x\"", std::nullopt},
        {"https://h/[x]", std::nullopt},
    };
    for (const auto& [text, address] : kCases)
        EXPECT_EQ(parseWebAddress(text), address) << text;
}
