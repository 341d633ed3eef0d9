#include "VeltraneCore/Updater/BundleIdentity.hpp"

#include <gtest/gtest.h>

TEST(BundleIdentity, ReadsTextMembersOnly)
{
    using veltrane::BundleIdentity;
    using veltrane::parseBundleIdentity;
    EXPECT_EQ(parseBundleIdentity(R"({"identifier": "com.tavix.veltrane", "version": "1.3", "x": 1})"),
              (BundleIdentity{.identifier = "com.tavix.veltrane", .version = "1.3"}));
    EXPECT_EQ(parseBundleIdentity(R"({"identifier": 5, "version": ["1.3"]})"), BundleIdentity{});
    EXPECT_EQ(parseBundleIdentity("[]"), std::nullopt);
    EXPECT_EQ(parseBundleIdentity("{"), std::nullopt);
    const BundleIdentity identity{.identifier = "com.tavix.veltrane", .version = "2.0"};
    EXPECT_EQ(parseBundleIdentity(veltrane::bundleIdentityText(identity)), identity);
}
