#include "VeltranePlatform/Files/Bookmark.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltrane;

namespace {

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<std::uint8_t> bytes(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

} // namespace

TEST(Bookmark, NamesAnAbsolutePathAndRefusesAnythingElse)
{
    EXPECT_EQ(text(bookmarkForPath("/home/me/kick.wav")), "veltrane-path:/home/me/kick.wav");
    EXPECT_EQ(resolveBookmark(bookmarkForPath("/home/me/ä kick.wav")), std::filesystem::path("/home/me/ä kick.wav"));
    EXPECT_TRUE(text(bookmarkForPath("relative.wav")).starts_with("veltrane-path:/"));

    const std::vector<std::string> refused{
        std::string(),
        std::string("veltrane-path:"),
        std::string("veltrane-path:kick.wav"),
        std::string("book\0\0mark", 10),
        std::string("veltrane-path:/a.wav\0/b.wav", 27),
        std::string("file:///home/me/kick.wav"),
    };
    for (const auto& bookmark : refused) EXPECT_FALSE(resolveBookmark(bytes(bookmark))) << bookmark;
}
