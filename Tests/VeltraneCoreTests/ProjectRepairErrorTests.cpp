#include "VeltraneCore/Models/ProjectError.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

TEST(ProjectError, CarriesItsCaseAndUserMessage)
{
    const auto invalid = ProjectError::invalid();
    EXPECT_EQ(invalid.which(), ProjectError::Case::invalid);
    EXPECT_STREQ(invalid.what(), "This is not a valid Veltrane project.");

    for (int version : {2, -1}) {
        const auto error = ProjectError::unsupportedVersion(version);
        EXPECT_EQ(error.which(), ProjectError::Case::unsupportedVersion);
        EXPECT_EQ(error.version(), version);
        EXPECT_EQ(std::string(error.what()), "This project uses Veltrane format " + std::to_string(version) +
                                                 ", which this version of Veltrane cannot open.");
    }
    EXPECT_STREQ(ProjectError::unsupportedVersion(2).what(),
                 "This project uses Veltrane format 2, which this version of Veltrane cannot open.");
}

} // namespace
} // namespace veltrane
