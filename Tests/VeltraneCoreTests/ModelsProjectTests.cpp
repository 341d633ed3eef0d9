#include "VeltraneCore/Models/Project.hpp"

#include <gtest/gtest.h>

#include <set>

using namespace veltrane;

TEST(Project, NewProjectHasTheDefaultDocument)
{
    const Project project;
    EXPECT_EQ(project.version, 1);
    EXPECT_EQ(project.name, "Untitled");
    EXPECT_EQ(project.bpm, 124);
    EXPECT_EQ(project.rowsPerBeat, 4);

    ASSERT_EQ(project.patterns.size(), 1u);
    const auto& pattern = project.patterns[0];
    EXPECT_EQ(pattern.name, "Pattern 1");
    EXPECT_EQ(pattern.rows, 64);
    EXPECT_EQ(pattern.channels, 8);
    EXPECT_TRUE(pattern.hasConsistentGrid());
    for (int row = 0; row < pattern.rows; ++row) {
        for (const auto& cell : pattern.cells.row(row)) EXPECT_TRUE(cell.isEmpty());
    }

    EXPECT_EQ(project.order, std::vector<int>{0});

    ASSERT_EQ(project.instruments.size(), 4u);
    const std::vector<std::pair<std::string, Waveform>> synths{
        {"Sine", Waveform::sine}, {"Triangle", Waveform::triangle}, {"Saw", Waveform::saw}, {"Square", Waveform::square}};
    for (std::size_t i = 0; i < synths.size(); ++i) {
        const auto& instrument = project.instruments[i];
        EXPECT_EQ(instrument.name, synths[i].first);
        EXPECT_EQ(instrument.source, InstrumentSource{SynthSource{synths[i].second}});
        EXPECT_EQ(instrument.cutoff, 18000);
        EXPECT_EQ(instrument.resonance, 0.7);
        EXPECT_FALSE(instrument.fm);
        EXPECT_FALSE(instrument.sampleEdit);
    }

    EXPECT_EQ(project.mixer, std::vector<MixerTrack>(8));
    EXPECT_EQ(project.masterVolume, 0.8);
    ASSERT_TRUE(project.masterFX);
    EXPECT_EQ(*project.masterFX, MasterFX{});
    EXPECT_EQ(project.masterFX->bitDepth, 16);
    EXPECT_EQ(project.swing, 0.0);

    ASSERT_TRUE(project.arrangement);
    ASSERT_EQ(project.arrangement->blocks.size(), 1u);
    EXPECT_EQ(project.arrangement->blocks[0].pattern, 0);
    EXPECT_EQ(project.arrangement->blocks[0].repeats, 1);
    EXPECT_TRUE(project.arrangement->markers.empty());
    EXPECT_EQ(project.arrangement->loop, (SongLoopRegion{.startBlock = 0, .endBlock = 0, .enabled = false}));

    ASSERT_TRUE(project.modulation);
    EXPECT_TRUE(project.modulation->sources.empty());
    EXPECT_TRUE(project.modulation->routes.empty());
}

TEST(Project, TwoNewProjectsDifferOnlyInTheirIdentifiers)
{
    const Project first;
    Project second;
    EXPECT_NE(first, second);
    EXPECT_NE(first.patterns[0].id, second.patterns[0].id);
    EXPECT_NE(first.arrangement->blocks[0].id, second.arrangement->blocks[0].id);

    std::set<Uuid> instrumentIDs;
    for (const auto& project : {first, second}) {
        for (const auto& instrument : project.instruments) instrumentIDs.insert(instrument.id);
    }
    EXPECT_EQ(instrumentIDs.size(), 8u);

    // Giving the second the first's identifiers makes the two equal: every other field agrees.
    second.patterns[0].id = first.patterns[0].id;
    for (std::size_t i = 0; i < 4; ++i) second.instruments[i].id = first.instruments[i].id;
    second.arrangement->blocks[0].id = first.arrangement->blocks[0].id;
    EXPECT_EQ(first, second);
}

TEST(Project, EqualityComparesEveryIdentifiedPart)
{
    const Project base;
    const auto differsAfter = [&base](auto edit) {
        Project copy = base;
        EXPECT_EQ(copy, base);
        edit(copy);
        return copy != base;
    };
    EXPECT_TRUE(differsAfter([](Project& p) { p.patterns[0].id = Uuid::random(); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.instruments[1].id = Uuid::random(); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.arrangement->blocks[0].id = Uuid::random(); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.arrangement->markers.push_back(SongMarker{.name = "A", .block = 0}); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.modulation->sources.push_back(ModulationSource{}); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.mixer[3].audioUnits = std::vector<AudioUnitSlot>{AudioUnitSlot{}}; }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.patterns[0].setCell(63, 7, Cell{.gate = 1.0}); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.modulation.reset(); }));
    EXPECT_TRUE(differsAfter([](Project& p) { p.masterFX->bitDepth.reset(); }));

    // Slots and sources made the same way still differ by their fresh identifiers.
    EXPECT_NE(AudioUnitSlot{}, AudioUnitSlot{});
    EXPECT_NE(ModulationSource{}, ModulationSource{});
    EXPECT_NE(ModulationRoute{}, ModulationRoute{});
    EXPECT_NE(SongMarker{}, SongMarker{});
}

TEST(Project, CopyingSharesGridsAndDataUntilOneSideWrites)
{
    Project original;
    original.patterns.push_back(Pattern("Pattern 2", 16, 4));
    original.instruments.push_back(Instrument::withData("Kick", Data(std::vector<std::uint8_t>(1000, 7)), "kick.wav"));

    Project copy = original;
    EXPECT_TRUE(copy.patterns[0].cells.sharesStorageWith(original.patterns[0].cells));
    EXPECT_TRUE(copy.patterns[1].cells.sharesStorageWith(original.patterns[1].cells));
    const auto& copiedBytes = std::get<EmbeddedSource>(copy.instruments[4].source).data;
    EXPECT_TRUE(copiedBytes.sharesStorageWith(std::get<EmbeddedSource>(original.instruments[4].source).data));

    copy.patterns[1].setCell(2, 3, Cell{.note = NotePitch{60}, .instrument = 4});

    // Only the edited row of the edited grid was copied, and the edit shows only in the copy.
    EXPECT_TRUE(copy.patterns[0].cells.sharesStorageWith(original.patterns[0].cells));
    EXPECT_FALSE(copy.patterns[1].cells.sharesStorageWith(original.patterns[1].cells));
    EXPECT_FALSE(copy.patterns[1].cells.sharesRowWith(original.patterns[1].cells, 2));
    EXPECT_TRUE(copy.patterns[1].cells.sharesRowWith(original.patterns[1].cells, 3));
    EXPECT_TRUE(original.patterns[1].cell(2, 3).isEmpty());
    EXPECT_EQ(pitchOf(*copy.patterns[1].cell(2, 3).note), 60);
    EXPECT_NE(copy, original);

    // Writing the original back to what the copy holds makes them equal again, by content.
    original.patterns[1].cells.mutableCell(2, 3) = copy.patterns[1].cell(2, 3);
    EXPECT_EQ(copy, original);
}
