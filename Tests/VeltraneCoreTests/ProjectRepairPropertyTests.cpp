#include "VeltraneCore/Models/PatternList.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace veltrane;

namespace {

/// Projects of every shape repair meets: songs present or absent, indices in and out of range, mixers too
/// short or too long, values on both sides of their ranges. Every one passes the checks, so repair
/// always succeeds on them.
class RepairableProjects {
public:
    explicit RepairableProjects(unsigned seed) : random_(seed) {}

    Project next()
    {
        Project project;
        project.patterns.clear();
        const int patternCount = integer(1, 4);
        for (int i = 0; i < patternCount; ++i) {
            Pattern pattern("P" + std::to_string(i), integer(1, 8), integer(1, 6));
            pattern.setCell(0, 0, Cell{.note = NotePitch{integer(0, 127)}, .instrument = 0, .volume = 64});
            project.patterns.push_back(std::move(pattern));
        }
        project.order.clear();
        for (int i = integer(0, 5); i > 0; --i) project.order.push_back(integer(-2, patternCount + 2));
        project.mixer = std::vector<MixerTrack>(static_cast<std::size_t>(integer(0, 9)),
                                                MixerTrack{.volume = real(-1, 2), .pan = real(-2, 2)});
        project.masterVolume = real(-1, 2);
        if (chance()) project.masterFX.reset();
        project.swing = chance() ? std::nullopt : std::optional<double>(real(-1, 2));
        if (chance()) {
            project.arrangement.reset();
        } else {
            SongArrangement song;
            for (int i = integer(0, 4); i > 0; --i) {
                song.blocks.push_back(SongBlock{.pattern = integer(-1, patternCount + 1), .repeats = integer(-2, 70)});
            }
            for (int i = integer(0, 3); i > 0; --i) {
                song.markers.push_back(SongMarker{.name = chance() ? "" : "M", .block = integer(-2, 6)});
            }
            song.loop = SongLoopRegion{.startBlock = integer(-2, 6), .endBlock = integer(-2, 6), .enabled = chance()};
            project.arrangement = song;
        }
        if (chance()) {
            project.modulation.reset();
        } else {
            ModulationRack rack;
            for (int i = integer(0, 3); i > 0; --i) {
                rack.sources.push_back(ModulationSource{.rateBeats = real(-1, 100), .phase = real(-3, 3),
                                                        .attack = real(-1, 40), .release = real(-1, 40),
                                                        .macroValue = real(-1, 2)});
            }
            for (int i = integer(0, 4); i > 0; --i) {
                const Uuid source = !rack.sources.empty() && chance() ? rack.sources.front().id : Uuid::random();
                rack.routes.push_back(ModulationRoute{.sourceID = source, .amount = real(-3, 3),
                                                      .track = integer(-1, 10), .instrument = integer(-1, 5)});
            }
            project.modulation = rack;
        }
        for (auto& instrument : project.instruments) {
            instrument.volume = real(-1, 2);
            if (chance()) {
                instrument.sampleEdit = SampleEdit{.trimStart = real(-1, 2), .trimEnd = real(-1, 2),
                                                   .loopStart = chance() ? std::optional(real(-1, 2)) : std::nullopt,
                                                   .loopEnd = real(-1, 2),
                                                   .slicePoints = std::vector<double>{real(-1, 2), real(-1, 2), 0.5, 0.5}};
            }
            if (chance()) instrument.tags = std::vector<std::string>{" b ", "A", "a", "", "\tB\n", "c"};
        }
        return project;
    }

private:
    int integer(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    double real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }
    bool chance() { return integer(0, 1) == 1; }

    std::mt19937 random_;
};

void expectInvariants(const Project& project)
{
    const int patternCount = static_cast<int>(project.patterns.size());
    ASSERT_TRUE(project.arrangement);
    const auto& song = *project.arrangement;
    ASSERT_FALSE(song.blocks.empty());
    const int blockCount = static_cast<int>(song.blocks.size());
    for (const auto& block : song.blocks) {
        EXPECT_TRUE(block.pattern >= 0 && block.pattern < patternCount);
        EXPECT_TRUE(block.repeats >= 1 && block.repeats <= 64);
    }
    for (const auto& marker : song.markers) {
        EXPECT_FALSE(marker.name.empty());
        EXPECT_TRUE(marker.block >= 0 && marker.block < blockCount);
    }
    EXPECT_TRUE(0 <= song.loop.startBlock && song.loop.startBlock <= song.loop.endBlock && song.loop.endBlock < blockCount);
    EXPECT_EQ(project.order, expandedOrder(song));

    int widest = 0;
    for (const auto& pattern : project.patterns) widest = std::max(widest, pattern.channels);
    EXPECT_EQ(project.mixer.size(), static_cast<std::size_t>(widest));
    EXPECT_TRUE(project.masterFX);
    ASSERT_TRUE(project.swing);
    EXPECT_TRUE(*project.swing >= 0 && *project.swing <= 1);
    if (project.modulation) {
        for (const auto& route : project.modulation->routes) {
            EXPECT_NE(project.modulation->source(route.sourceID), nullptr);
            EXPECT_TRUE(!route.track || (*route.track >= 0 && *route.track < widest));
            const int instrumentCount = static_cast<int>(project.instruments.size());
            EXPECT_TRUE(!route.instrument || (*route.instrument >= 0 && *route.instrument < instrumentCount));
        }
        for (const auto& source : project.modulation->sources) EXPECT_TRUE(source.phase >= 0 && source.phase < 1);
    }
    for (const auto& instrument : project.instruments) {
        if (!instrument.sampleEdit) continue;
        const auto& edit = *instrument.sampleEdit;
        EXPECT_TRUE(0 <= edit.trimStart && edit.trimStart < edit.trimEnd && edit.trimEnd <= 1);
        EXPECT_TRUE(!edit.loopStart || !edit.loopEnd || (*edit.loopStart < *edit.loopEnd && *edit.loopEnd <= 1));
    }
}

} // namespace

TEST(ProjectRepair, RepairedProjectsHoldEveryInvariantAndRepairingAgainChangesNothing)
{
    RepairableProjects projects(20240611);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        Project once = projects.next();
        ASSERT_NO_THROW(once.normalize());
        expectInvariants(once);
        Project twice = once;
        ASSERT_NO_THROW(twice.normalize());
        EXPECT_EQ(twice, once);
    }
}

TEST(ProjectRepair, LeavesPatternGridsShared)
{
    // Repair never writes a cell, so copies (undo steps) keep sharing every row, whether the rest of the
    // project needed repair or not.
    Project stored;
    stored.patterns.push_back(Pattern("Pattern 2", 16, 4));
    stored.patterns[1].setCell(3, 2, Cell{.note = NotePitch{60}, .instrument = 1});
    stored.arrangement.reset();
    stored.swing = 3;
    stored.order = {1, 7};

    Project repaired = stored;
    repaired.normalize();
    Project again = repaired;
    again.normalize();
    EXPECT_EQ(again, repaired);
    for (std::size_t i = 0; i < stored.patterns.size(); ++i) {
        EXPECT_TRUE(repaired.patterns[i].cells.sharesStorageWith(stored.patterns[i].cells)) << "pattern " << i;
        EXPECT_TRUE(again.patterns[i].cells.sharesStorageWith(repaired.patterns[i].cells)) << "pattern " << i;
    }
}

TEST(ProjectRepair, ANewProjectNeedsNoRepair)
{
    const Project fresh;
    Project repaired = fresh;
    repaired.normalize();
    EXPECT_EQ(repaired, fresh);
}
