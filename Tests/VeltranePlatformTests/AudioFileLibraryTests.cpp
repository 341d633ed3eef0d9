#include <gtest/gtest.h>

#include <string>

namespace veltrane { const char* audioFileLibraryVersion(); }

TEST(AudioFileLibrary, IsLibsndfile)
{
    EXPECT_EQ(std::string(veltrane::audioFileLibraryVersion()).rfind("libsndfile", 0), 0u);
}
