#include "VeltraneVersion.hpp"

#include <gtest/gtest.h>

#include <string>

namespace veltrane { const char* veltraneVersion(); }

TEST(Version, IsTheProjectVersion)
{
    EXPECT_EQ(std::string(veltrane::veltraneVersion()), "0.1.0");
}
