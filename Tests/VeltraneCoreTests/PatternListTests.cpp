#include "VeltraneCore/Models/PatternList.hpp"
#include "VeltraneCore/Models/Project.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace veltrane;

namespace {

/// Three patterns ("Intro" 32 × 4, "Verse" 16 × 4, "Chorus" 64 × 4) with a note in the verse, the order
/// [0, 1, 2, 1] and a song of blocks playing the same, with a marker and a loop.
Project threePatternSong()
{
    Project project;
    project.patterns = {Pattern("Intro", 32, 4), Pattern("Verse", 16, 4), Pattern("Chorus", 64, 4)};
    project.patterns[1].setCell(2, 3, Cell{.note = NotePitch{64}, .instrument = 2});
    project.mixer = std::vector<MixerTrack>(4);
    project.arrangement = SongArrangement{
        .blocks = {SongBlock{.pattern = 0}, SongBlock{.pattern = 1}, SongBlock{.pattern = 2, .repeats = 2},
                   SongBlock{.pattern = 1}},
        .markers = {SongMarker{.name = "Hook", .block = 2}},
        .loop = SongLoopRegion{.startBlock = 1, .endBlock = 3, .enabled = true},
    };
    project.order = {0, 1, 2, 2, 1};
    return project;
}

std::vector<int> blockPatterns(const Project& project)
{
    std::vector<int> patterns;
    for (const auto& block : project.arrangement->blocks) patterns.push_back(block.pattern);
    return patterns;
}

} // namespace

TEST(PatternList, AddsAnEmptyPatternOfTheFirstPatternsSize)
{
    for (std::optional<int> source : {std::optional<int>{}, std::optional<int>{-1}, std::optional<int>{3}}) {
        Project project = threePatternSong();
        const Project before = project;
        EXPECT_EQ(project.addPattern(source), 3);
        ASSERT_EQ(project.patterns.size(), 4u);
        const auto& added = project.patterns[3];
        EXPECT_EQ(added.name, "Pattern 4");
        EXPECT_EQ(added.rows, 32);
        EXPECT_EQ(added.channels, 4);
        EXPECT_EQ(added.cells, CellGrid(32, 4));
        for (const auto& pattern : before.patterns) EXPECT_NE(added.id, pattern.id);
        // It plays nowhere until a block names it.
        EXPECT_EQ(project.order, before.order);
        EXPECT_EQ(project.arrangement, before.arrangement);
    }

    Project empty;
    empty.patterns.clear();
    EXPECT_EQ(empty.addPattern(), 0);
    EXPECT_EQ(empty.patterns[0].name, "Pattern 1");
    EXPECT_EQ(empty.patterns[0].rows, 64);
    EXPECT_EQ(empty.patterns[0].channels, 8);
}

TEST(PatternList, DuplicatesAPatternUnderANewIdentifier)
{
    Project project = threePatternSong();
    const Project before = project;
    EXPECT_EQ(project.addPattern(1), 3);
    const auto& copy = project.patterns[3];
    const auto& source = project.patterns[1];
    EXPECT_EQ(copy.name, "Verse Copy");
    EXPECT_NE(copy.id, source.id);
    EXPECT_EQ(copy.rows, 16);
    EXPECT_EQ(copy.channels, 4);
    EXPECT_EQ(copy.cells, source.cells);
    EXPECT_TRUE(copy.cells.sharesStorageWith(source.cells)) << "a duplicate costs no cell memory until edited";
    EXPECT_EQ(project.order, before.order);
    EXPECT_EQ(project.arrangement, before.arrangement);

    // Editing the copy leaves the original alone.
    project.patterns[3].setCell(2, 3, Cell{});
    EXPECT_EQ(project.patterns[1], before.patterns[1]);
}

TEST(PatternList, RemovingAPatternRenumbersTheOrderAndTheBlocks)
{
    struct Case {
        int index;
        std::vector<int> order;   // from [0, 1, 2, 1]
        std::vector<int> blocks;  // from blocks [0, 1, 2, 1]
        std::vector<const char*> names;
    };
    const std::vector<Case> cases{
        // Entries that named the removed pattern name the one that moved into its place...
        {1, {0, 1, 1, 1}, {0, 1, 1, 1}, {"Intro", "Chorus"}},
        {0, {0, 0, 1, 0}, {0, 0, 1, 0}, {"Verse", "Chorus"}},
        // ...or the new last pattern when the last one went.
        {2, {0, 1, 1, 1}, {0, 1, 1, 1}, {"Intro", "Verse"}},
    };
    for (const auto& [index, order, blocks, names] : cases) {
        SCOPED_TRACE(index);
        Project project = threePatternSong();
        project.order = {0, 1, 2, 1};
        const Project before = project;
        project.removePattern(index);
        ASSERT_EQ(project.patterns.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(project.patterns[i].name, names[i]);
        EXPECT_EQ(project.order, order);
        EXPECT_EQ(blockPatterns(project), blocks);
        // Blocks keep their identity and repeats; markers and the loop stay.
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(project.arrangement->blocks[i].id, before.arrangement->blocks[i].id);
            EXPECT_EQ(project.arrangement->blocks[i].repeats, before.arrangement->blocks[i].repeats);
        }
        EXPECT_EQ(project.arrangement->markers, before.arrangement->markers);
        EXPECT_EQ(project.arrangement->loop, before.arrangement->loop);
    }
}

TEST(PatternList, RemovingKeepsTheOrderInStepWithTheSong)
{
    for (int index = 0; index < 3; ++index) {
        Project project = threePatternSong();
        ASSERT_EQ(project.order, expandedOrder(*project.arrangement));
        project.removePattern(index);
        EXPECT_EQ(project.order, expandedOrder(*project.arrangement)) << "removed " << index;
    }
}

TEST(PatternList, RemovingDoesNothingWhenItCannot)
{
    Project single;
    const Project singleBefore = single;
    single.removePattern(0);
    EXPECT_EQ(single, singleBefore) << "the last pattern stays";

    for (int index : {-1, 3, 100}) {
        Project project = threePatternSong();
        const Project before = project;
        project.removePattern(index);
        EXPECT_EQ(project, before) << "index " << index;
    }

    Project withoutSong = threePatternSong();
    withoutSong.arrangement.reset();
    withoutSong.removePattern(1);
    EXPECT_EQ(withoutSong.order, (std::vector<int>{0, 1, 1, 1, 1}));
    EXPECT_FALSE(withoutSong.arrangement);
}

TEST(PatternList, SyncsTheOrderFromTheSongBlocks)
{
    struct Case {
        std::vector<std::pair<int, int>> blocks; // pattern, repeats
        std::vector<int> order;
    };
    const std::vector<Case> cases{
        {{{1, 3}, {0, 1}}, {1, 1, 1, 0}},
        {{{2, 1}, {0, 2}, {2, 1}}, {2, 0, 0, 2}},
        {{}, {}},
        {{{1, 0}, {0, -4}, {2, 1}}, {2}}, // no repeats play nothing; a negative count never becomes a size
    };
    for (const auto& [blocks, order] : cases) {
        Project project = threePatternSong();
        project.arrangement->blocks.clear();
        for (auto [pattern, repeats] : blocks) project.arrangement->blocks.push_back(SongBlock{.pattern = pattern, .repeats = repeats});
        project.syncOrderFromArrangement();
        EXPECT_EQ(project.order, order);
    }

    Project withoutSong = threePatternSong();
    withoutSong.arrangement.reset();
    withoutSong.order = {2, 7};
    withoutSong.syncOrderFromArrangement();
    EXPECT_EQ(withoutSong.order, (std::vector<int>{2, 7}));
}
