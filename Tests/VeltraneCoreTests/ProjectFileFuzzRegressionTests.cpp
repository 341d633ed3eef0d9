// Inputs the decoder fuzzer found interesting (corpus) or that once broke the decoder (regressions):
// each must still end in a project or a ProjectError, and a project read from one must be written and
// read back unchanged, as the fuzzer demands.

#include "ProjectFileTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::vector<std::filesystem::path> fuzzInputs()
{
    const std::filesystem::path folder = std::string(VELTRANE_FIXTURES_DIR) + "/Fuzz/ProjectDecoder";
    std::vector<std::filesystem::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder / kind)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.') inputs.push_back(entry.path());
        }
    }
    return inputs;
}

} // namespace

TEST(ProjectFileFuzzRegression, EveryKeptInputEndsInAProjectOrAProjectError)
{
    const auto inputs = fuzzInputs();
    ASSERT_FALSE(inputs.empty());
    int projects = 0;
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.filename().string());
        const auto bytes = readFile(input.string());
        try {
            const auto project = decodeProject(bytes);
            ++projects;
            EXPECT_EQ(decodeProject(encodeProject(project)), project);
        } catch (const ProjectError& error) {
            EXPECT_GT(std::string(error.what()).size(), 0u);
        }
    }
    RecordProperty("projects", projects);
}
