// The written form of a project is a contract with every file already saved: these files pin it byte for
// byte. Set VELTRANE_UPDATE_GOLDEN=1 to rewrite them after a deliberate change of the format.

#include "ProjectFileTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

struct GoldenFile {
    const char* name;
    Project (*make)();
};

const GoldenFile goldenFiles[] = {
    {"smallest.veltrane", smallestProject},
    {"instrument-sources.veltrane", instrumentSourcesProject},
    {"modulation-sources.veltrane", modulationSourcesProject},
    {"full-featured.veltrane", fullFeaturedProject},
};

bool updatingGoldenFiles() { return std::getenv("VELTRANE_UPDATE_GOLDEN") != nullptr; }

} // namespace

TEST(ProjectFileGolden, WritesTheseBytes)
{
    for (const auto& golden : goldenFiles) {
        SCOPED_TRACE(golden.name);
        const auto bytes = encodeProject(golden.make());
        if (updatingGoldenFiles()) std::ofstream(fixturePath(golden.name), std::ios::binary) << bytes;
        EXPECT_EQ(bytes, readFile(fixturePath(golden.name)));
    }
}

TEST(ProjectFileGolden, ReadsBackTheProjectThatWroteIt)
{
    for (const auto& golden : goldenFiles) {
        SCOPED_TRACE(golden.name);
        const auto bytes = readFile(fixturePath(golden.name));
        EXPECT_EQ(readAsWritten(bytes), golden.make());
        // Opening also repairs: the sections a bare project lacks are added, nothing else changes. A song
        // made on opening has blocks with new identifiers.
        const auto opened = decodeProject(bytes);
        auto repaired = golden.make();
        repaired.normalize();
        ASSERT_TRUE(opened.arrangement && repaired.arrangement);
        ASSERT_EQ(opened.arrangement->blocks.size(), repaired.arrangement->blocks.size());
        for (std::size_t i = 0; i < opened.arrangement->blocks.size(); ++i) {
            repaired.arrangement->blocks[i].id = opened.arrangement->blocks[i].id;
        }
        EXPECT_EQ(opened, repaired);
    }
    auto full = fullFeaturedProject();
    full.normalize();
    EXPECT_EQ(full, fullFeaturedProject()) << "the full project is one that repair leaves as it is";
}

TEST(ProjectFileGolden, IsNlohmannPrettyPrintWithSortedMembers)
{
    // The layout is nlohmann/json's own two-space pretty print of the same document, members sorted by
    // name; it differs only in numbers, which nlohmann does not always write in their shortest form
    // (none of the numbers in this file is such a case).
    const auto bytes = readFile(fixturePath("full-featured.veltrane"));
    EXPECT_EQ(nlohmann::json::parse(bytes).dump(2), bytes);
}

TEST(ProjectFileGolden, ReadsTheSmallestCompleteFile)
{
    // A hand-written file with only the required members, in no particular order.
    const auto project = decodeProject(readFile(fixturePath("minimal.veltrane")));
    EXPECT_EQ(project.version, 1);
    EXPECT_EQ(project.name, "Untitled");
    EXPECT_EQ(project.bpm, 124);
    EXPECT_EQ(project.rowsPerBeat, 4);
    ASSERT_EQ(project.patterns.size(), 1u);
    EXPECT_EQ(project.patterns[0].id.toString(), "5C1D2E3F-4A5B-4C6D-8E7F-8091A2B3C4D5");
    EXPECT_EQ(project.patterns[0].rows, 1);
    EXPECT_TRUE(project.patterns[0].hasConsistentGrid());
    EXPECT_EQ(project.patterns[0].cell(0, 0), Cell{});
    EXPECT_EQ(project.order, std::vector<int>{0});
    ASSERT_EQ(project.instruments.size(), 1u);
    const auto& sine = project.instruments[0];
    EXPECT_EQ(sine.source, InstrumentSource{SynthSource{Waveform::sine}});
    EXPECT_EQ(sine.volume, 0.85);
    EXPECT_EQ(sine.attack, 0.002);
    EXPECT_FALSE(sine.cutoff);
    EXPECT_FALSE(sine.resonance);
    EXPECT_EQ(project.mixer, std::vector<MixerTrack>{MixerTrack{}});
    EXPECT_EQ(project.masterVolume, 0.8);
}
