// Patterns, the pattern order and the song arrangement: guards, names, the loop region and the tempo.

#include "ModelTestSupport.hpp"

#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::vector<int> blockPatterns(const AppModel& model)
{
    std::vector<int> patterns;
    for (const auto& block : model.project().arrangement->blocks) patterns.push_back(block.pattern);
    return patterns;
}

/// A project of three patterns and a song of `blocks` (pattern indexes, one repeat each).
AppModel& songModel(ModelHarness& harness, std::vector<int> blocks)
{
    auto& model = harness.make();
    Project project = model.project();
    project.addPattern();
    project.addPattern();
    project.arrangement->blocks.clear();
    for (const int pattern : blocks) project.arrangement->blocks.push_back(SongBlock{.pattern = pattern});
    project.syncOrderFromArrangement();
    model.setProject(std::move(project));
    return model;
}

} // namespace

TEST(AppModelSong, AddOrderMakesTheSongFromTheOrderWhenThereIsNone)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0});
    Project project = model.project();
    project.arrangement.reset();
    project.order = {0, 0, 1};
    model.setProject(std::move(project));
    model.setPatternIndex(2);

    model.addOrder();
    ASSERT_TRUE(model.project().arrangement);
    const auto& song = *model.project().arrangement;
    EXPECT_EQ(blockPatterns(model), (std::vector<int>{0, 0, 1, 2}));
    for (const auto& block : song.blocks) EXPECT_EQ(block.repeats, 1);
    EXPECT_TRUE(song.markers.empty());
    EXPECT_EQ(song.loop, SongLoopRegion{});
    EXPECT_EQ(model.project().order, (std::vector<int>{0, 0, 1, 2}));
    EXPECT_EQ(model.selectedSongBlock(), 3);
    EXPECT_EQ(model.undoStack().size(), 1u);
}

TEST(AppModelSong, SongEditsWithoutASongChangeNothingAndRecordNothing)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0});
    Project project = model.project();
    project.arrangement.reset();
    model.setProject(std::move(project));
    const Project before = model.project();

    model.duplicateOrder(0);
    model.removeOrder(0);
    model.setOrder(0, 1);
    model.moveOrder(0, 1);
    model.moveOrderFromTo(0, 1);
    model.setOrderRepeats(0, 3);
    model.selectSongBlock(0);
    model.setSongLoop(0, 0, true);
    model.addSongMarker(0);
    EXPECT_EQ(model.project(), before);
    EXPECT_FALSE(model.canUndo());

    // The renames and removals of markers are steps all the same.
    model.renameSongMarker(Uuid::random(), "x");
    model.removeSongMarker(Uuid::random());
    EXPECT_EQ(model.undoStack().size(), 2u);
    EXPECT_EQ(model.project(), before);
}

TEST(AppModelSong, RemovingABlockClampsTheLoopAndSelectsTheBlockInItsPlace)
{
    for (const auto& [removed, selected] : {std::pair{3, 2}, std::pair{1, 1}}) {
        ModelHarness harness;
        auto& model = songModel(harness, {0, 1, 2, 0});
        model.setSongLoop(2, 3, true);
        model.addSongMarker(3);
        model.removeOrder(removed);
        const auto& song = *model.project().arrangement;
        EXPECT_EQ(song.loop, (SongLoopRegion{2, 2, true})) << removed;
        EXPECT_EQ(model.selectedSongBlock(), selected);
        ASSERT_EQ(song.markers.size(), 1u);
        EXPECT_EQ(song.markers[0].block, 3); // markers keep their numbers
        EXPECT_EQ(model.project().order.size(), 3u);
    }

    ModelHarness single;
    auto& model = songModel(single, {0});
    model.removeOrder(0);
    model.removeOrder(5);
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelSong, RepeatsAreClampedAndExpandTheOrder)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0, 1});
    model.setOrderRepeats(1, 2);
    EXPECT_EQ(model.project().order, (std::vector<int>{0, 1, 1}));
    model.setOrderRepeats(0, 0);
    EXPECT_EQ(model.project().arrangement->blocks[0].repeats, 1);
    model.setOrderRepeats(0, 100);
    EXPECT_EQ(model.project().arrangement->blocks[0].repeats, 64);
    const auto steps = model.undoStack().size();
    model.setOrderRepeats(0, 65);
    EXPECT_EQ(model.project().arrangement->blocks[0].repeats, 64);
    EXPECT_EQ(model.undoStack().size(), steps + 1);
}

TEST(AppModelSong, BlocksMoveDuplicateAndTakeOtherPatterns)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0, 1, 2});
    model.moveOrder(0, -1);
    model.moveOrder(2, 1);
    EXPECT_FALSE(model.canUndo());

    model.moveOrderFromTo(0, 2);
    EXPECT_EQ(blockPatterns(model), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(model.selectedSongBlock(), 2);
    model.moveOrder(1, 1);
    EXPECT_EQ(blockPatterns(model), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(model.selectedSongBlock(), 2);

    const Uuid original = model.project().arrangement->blocks[0].id;
    model.setOrderRepeats(0, 3);
    model.duplicateOrder(0);
    const auto& blocks = model.project().arrangement->blocks;
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_NE(blocks[1].id, original);
    EXPECT_EQ(blocks[1].repeats, 3);
    EXPECT_EQ(blocks[1].pattern, 1);
    EXPECT_EQ(model.selectedSongBlock(), 1);

    model.setOrder(3, 0);
    EXPECT_EQ(model.project().arrangement->blocks[3].pattern, 0);
    const auto steps = model.undoStack().size();
    model.setOrder(3, 3); // no such pattern
    model.setOrder(4, 0); // no such block
    EXPECT_EQ(model.undoStack().size(), steps);
    EXPECT_EQ(model.project().order, (std::vector<int>{1, 1, 1, 1, 1, 1, 0, 0}));
}

TEST(AppModelSong, TheLoopRegionIsClampedAndNeverInverted)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0, 1, 2});
    model.setSongLoop(5, std::nullopt, std::nullopt);
    EXPECT_EQ(model.project().arrangement->loop, (SongLoopRegion{2, 2, false}));
    model.setSongLoop(0, 1, std::nullopt);
    model.setSongLoop(2, std::nullopt, std::nullopt);
    EXPECT_EQ(model.project().arrangement->loop, (SongLoopRegion{2, 2, false}));
    model.setSongLoop(std::nullopt, 0, true);
    EXPECT_EQ(model.project().arrangement->loop, (SongLoopRegion{2, 2, true}));
}

TEST(AppModelSong, MarkersAreNumberedByCountAndRenamedToMarkerWhenEmpty)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0, 1});
    for (int i = 0; i < 3; ++i) model.addSongMarker(1);
    auto names = [&] {
        std::vector<std::string> result;
        for (const auto& marker : model.project().arrangement->markers) result.push_back(marker.name);
        return result;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"Marker 1", "Marker 2", "Marker 3"}));
    model.removeSongMarker(model.project().arrangement->markers[1].id);
    model.addSongMarker(0);
    EXPECT_EQ(names(), (std::vector<std::string>{"Marker 1", "Marker 3", "Marker 3"}));
    model.renameSongMarker(model.project().arrangement->markers[0].id, "");
    EXPECT_EQ(names()[0], "Marker");
    model.addSongMarker(2); // no such block
    EXPECT_EQ(names().size(), 3u);
}

TEST(AppModelSong, PatternsAreAddedClonedRenamedAndDeleted)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0});
    model.select(5, 3, std::nullopt, false);
    const auto first = model.project().patterns[0];
    model.newPattern(true);
    ASSERT_EQ(model.project().patterns.size(), 4u);
    const auto& clone = model.project().patterns[3];
    EXPECT_EQ(clone.name, first.name + " Copy");
    EXPECT_NE(clone.id, first.id);
    EXPECT_EQ(clone.cells, first.cells);
    EXPECT_EQ(model.patternIndex(), 3);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.project().order, (std::vector<int>{0})); // plays nowhere yet

    model.newPattern(false);
    EXPECT_EQ(model.project().patterns[4].name, "Pattern 5");
    model.setPatternIndex(2);
    model.renamePattern("");
    EXPECT_EQ(model.project().patterns[2].name, "Pattern 3");

    model.setPatternIndex(4);
    model.deletePattern();
    EXPECT_EQ(model.patternIndex(), 3);
    EXPECT_EQ(model.selectedTrack(), 0);

    ModelHarness one;
    auto& single = one.make();
    single.deletePattern();
    EXPECT_FALSE(single.canUndo());
}

TEST(AppModelSong, SelectingAPatternWhileOnePlaysOnlyQueuesIt)
{
    ModelHarness harness;
    auto& model = songModel(harness, {0, 1});
    Project project = model.project();
    project.patterns[1] = Pattern("Narrow", 16, 2);
    model.setProject(std::move(project));
    model.select(10, 6, std::nullopt, false);

    model.setIsPlaying(true);
    model.selectPattern(1);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_EQ(model.queuedPatternIndex(), 1);
    model.selectSongBlock(1);
    EXPECT_EQ(model.selectedSongBlock(), 1);
    EXPECT_EQ(model.patternIndex(), 0);

    model.setSongMode(true);
    model.selectPattern(1);
    EXPECT_EQ(model.patternIndex(), 1);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.selectedTrack(), 1);

    model.setIsPlaying(false);
    model.selectSongBlock(0);
    EXPECT_EQ(model.patternIndex(), 0);
    model.selectPattern(7);
    EXPECT_EQ(model.patternIndex(), 0);
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelSong, TheTempoIsClampedAndANonNumberRefused)
{
    ModelHarness harness;
    auto& model = harness.make();
    model.setTempo(10);
    EXPECT_EQ(model.project().bpm, 20);
    model.setTempo(500);
    EXPECT_EQ(model.project().bpm, 400);
    model.setTempo(400);
    EXPECT_EQ(model.undoStack().size(), 3u);
    for (const double value : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()}) {
        model.setTempo(value);
    }
    EXPECT_EQ(model.undoStack().size(), 3u);
    EXPECT_EQ(model.project().bpm, 400);
}
