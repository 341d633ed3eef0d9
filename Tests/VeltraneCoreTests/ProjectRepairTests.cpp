#include "VeltraneCore/Models/PatternList.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/ProjectError.hpp"
#include "VeltraneCore/Models/ProjectRepair.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using namespace veltrane;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

/// A project as a file that leaves out every optional section reads: two 4 × 2 patterns, one synth, two
/// mixer tracks; no master section, swing, song or modulation rack.
Project loadedProject()
{
    Project project;
    project.patterns = {Pattern("Pattern 1", 4, 2), Pattern("Pattern 2", 4, 2)};
    project.order = {0, 1};
    project.instruments = {Instrument::withWaveform("Sine", Waveform::sine)};
    project.mixer = std::vector<MixerTrack>(2);
    project.masterFX.reset();
    project.swing.reset();
    project.arrangement.reset();
    project.modulation.reset();
    return project;
}

Project normalized(Project project)
{
    project.normalize();
    return project;
}

SongArrangement songOf(std::vector<std::pair<int, int>> patternsAndRepeats)
{
    SongArrangement song;
    for (auto [pattern, repeats] : patternsAndRepeats) song.blocks.push_back(SongBlock{.pattern = pattern, .repeats = repeats});
    return song;
}

std::vector<AudioUnitSlot> slots(int count, std::optional<Data> state = std::nullopt)
{
    std::vector<AudioUnitSlot> chain;
    for (int i = 0; i < count; ++i) chain.push_back(AudioUnitSlot{.reference = {.name = "Delay"}, .state = state});
    return chain;
}

std::vector<int> joined(std::vector<int> front, const std::vector<int>& back)
{
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

void setCell(Project& project, Cell cell) { project.patterns[1].setCell(3, 1, std::move(cell)); }

Cell lockedCell(std::vector<ParameterLock> locks) { return Cell{.locks = std::move(locks)}; }

/// Pattern 1 with a size of its own and a grid of exactly that size.
void resizePattern(Project& project, int rows, int channels)
{
    auto& pattern = project.patterns[1];
    pattern.rows = rows;
    pattern.channels = channels;
    pattern.cells.resize(rows, channels);
}

using Edit = std::function<void(Project&)>;

struct EditCase {
    const char* name;
    Edit edit;
};

} // namespace

TEST(ProjectRepair, RefusesWhatCannotBeRepaired)
{
    const std::vector<EditCase> cases{
        {"version 2", [](Project& p) { p.version = 2; }},
        {"version 0", [](Project& p) { p.version = 0; }},
        {"bpm 19.9", [](Project& p) { p.bpm = 19.9; }},
        {"bpm 400.1", [](Project& p) { p.bpm = 400.1; }},
        {"bpm NaN", [](Project& p) { p.bpm = notANumber; }},
        {"rows per beat 0", [](Project& p) { p.rowsPerBeat = 0; }},
        {"rows per beat 17", [](Project& p) { p.rowsPerBeat = 17; }},
        {"no patterns", [](Project& p) { p.patterns.clear(); }},
        {"257 rows", [](Project& p) { resizePattern(p, 257, 2); }},
        {"0 rows", [](Project& p) { p.patterns[1] = Pattern("Empty", 0, 2); }},
        {"33 channels", [](Project& p) { resizePattern(p, 4, 33); }},
        {"grid one row short", [](Project& p) { p.patterns[1].cells.resize(3, 2); }},
        {"rows one cell short", [](Project& p) { p.patterns[1].cells.resize(4, 1); }},
        {"pitch 128", [](Project& p) { setCell(p, Cell{.note = NotePitch{128}}); }},
        {"pitch -1", [](Project& p) { setCell(p, Cell{.note = NotePitch{-1}}); }},
        {"instrument index = count", [](Project& p) { setCell(p, Cell{.instrument = 1}); }},
        {"instrument index -1", [](Project& p) { setCell(p, Cell{.instrument = -1}); }},
        {"volume 65", [](Project& p) { setCell(p, Cell{.volume = 65}); }},
        {"gate 0.009", [](Project& p) { setCell(p, Cell{.gate = 0.009}); }},
        {"gate 16.5", [](Project& p) { setCell(p, Cell{.gate = 16.5}); }},
        {"gate NaN", [](Project& p) { setCell(p, Cell{.gate = notANumber}); }},
        {"two trackPan locks",
         [](Project& p) { setCell(p, lockedCell({{ParameterTarget::trackPan, 0.1}, {ParameterTarget::trackPan, 0.2}})); }},
        {"bit depth lock 3", [](Project& p) { setCell(p, lockedCell({{ParameterTarget::masterBitDepth, 3}})); }},
        {"lock NaN", [](Project& p) { setCell(p, lockedCell({{ParameterTarget::instrumentTune, notANumber}})); }},
        {"lock infinite", [](Project& p) { setCell(p, lockedCell({{ParameterTarget::instrumentTune, infinity}})); }},
        {"nine track slots", [](Project& p) { p.mixer[1].audioUnits = slots(9); }},
        {"nine master slots",
         [](Project& p) {
             p.masterFX = MasterFX{};
             p.masterFX->audioUnits = slots(9);
         }},
        // Values repair keeps or only clamps: a NaN or an infinity would make the project unsavable.
        {"master volume NaN", [](Project& p) { p.masterVolume = notANumber; }},
        {"master cutoff NaN",
         [](Project& p) {
             p.masterFX = MasterFX{};
             p.masterFX->cutoff = notANumber;
         }},
        {"track drive infinite", [](Project& p) { p.mixer[0].drive = infinity; }},
        {"instrument tune infinite", [](Project& p) { p.instruments[0].tune = infinity; }},
        {"FM ratio NaN", [](Project& p) { p.instruments[0].fm = FMSettings{.carrier = {.ratio = notANumber}}; }},
        {"trim start NaN", [](Project& p) { p.instruments[0].sampleEdit = SampleEdit{.trimStart = notANumber}; }},
        {"LFO phase infinite",
         [](Project& p) { p.modulation = ModulationRack{.sources = {ModulationSource{.phase = infinity}}}; }},
        {"route amount NaN",
         [](Project& p) {
             ModulationSource source;
             p.modulation = ModulationRack{.sources = {source}, .routes = {ModulationRoute{.sourceID = source.id, .amount = notANumber}}};
         }},
    };
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        Project project = loadedProject();
        edit(project);
        try {
            project.normalize();
            ADD_FAILURE() << "accepted";
        } catch (const ProjectError& error) {
            EXPECT_EQ(error.which(), ProjectError::Case::invalid);
            EXPECT_STREQ(error.what(), "This is not a valid Veltrane project.");
        }
    }
}

TEST(ProjectRepair, AcceptsValuesOnTheLimits)
{
    const std::vector<EditCase> cases{
        {"bpm 20", [](Project& p) { p.bpm = 20; }},
        {"bpm 400", [](Project& p) { p.bpm = 400; }},
        {"rows per beat 1", [](Project& p) { p.rowsPerBeat = 1; }},
        {"rows per beat 16", [](Project& p) { p.rowsPerBeat = 16; }},
        {"256 rows, 32 channels", [](Project& p) { resizePattern(p, 256, 32); }},
        {"1 row, 1 channel", [](Project& p) { resizePattern(p, 1, 1); }},
        {"pitches 0 and 127",
         [](Project& p) {
             p.patterns[0].setCell(0, 0, Cell{.note = NotePitch{0}});
             p.patterns[0].setCell(0, 1, Cell{.note = NotePitch{127}});
         }},
        {"note-off and tie",
         [](Project& p) {
             p.patterns[0].setCell(0, 0, Cell{.note = NoteOff{}});
             p.patterns[0].setCell(0, 1, Cell{.note = NoteTie{}});
         }},
        {"last instrument, volume 64", [](Project& p) { setCell(p, Cell{.instrument = 0, .volume = 64}); }},
        {"gate 0.01", [](Project& p) { setCell(p, Cell{.gate = 0.01}); }},
        {"gate 16", [](Project& p) { setCell(p, Cell{.gate = 16}); }},
        {"locks on both bounds, one per target",
         [](Project& p) {
             setCell(p, lockedCell({{ParameterTarget::masterBitDepth, 4},
                                    {ParameterTarget::trackCutoff, 20000},
                                    {ParameterTarget::trackPan, -1}}));
         }},
        {"eight slots on a track and the master",
         [](Project& p) {
             p.mixer[1].audioUnits = slots(8);
             p.masterFX = MasterFX{};
             p.masterFX->audioUnits = slots(8);
         }},
        {"infinite swing clamps", [](Project& p) { p.swing = infinity; }},
    };
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        Project project = loadedProject();
        edit(project);
        EXPECT_NO_THROW(project.normalize());
    }
}

TEST(ProjectRepair, StoredDataMayFillTheLimitButNotExceedIt)
{
    // One 16 MiB blob shared by every instrument and slot: the limit counts bytes stored, not memory held.
    const Data blob(std::vector<std::uint8_t>(16u << 20, 0x5A));
    Project project = loadedProject();
    project.instruments.clear();
    for (int i = 0; i < 30; ++i) project.instruments.push_back(Instrument::withData("Kick", blob, "kick.wav"));
    project.instruments.push_back(Instrument::withAudioUnit("Synth", {.name = "JX10"}, blob));
    project.instruments.push_back(Instrument::withBookmark("Far", blob, "far.wav")); // bookmarks do not count
    project.masterFX = MasterFX{};
    project.masterFX->audioUnits = slots(1, blob);

    EXPECT_NO_THROW(normalized(project)) << "exactly 512 MiB";

    project.mixer[0].audioUnits = slots(1, Data(std::string_view("x")));
    EXPECT_THROW(normalized(project), ProjectError) << "one byte more";

    // Surplus tracks are dropped before counting: their states are not kept, so they cannot overflow.
    project.mixer[0].audioUnits.reset();
    project.mixer.resize(3);
    project.mixer[2].audioUnits = slots(1, blob);
    EXPECT_NO_THROW(normalized(project));
}

TEST(ProjectRepair, BuildsTheSongFromTheOrderWhenThereIsNone)
{
    struct Case {
        std::vector<int> order;
        std::vector<int> blockPatterns;
    };
    const std::vector<Case> cases{
        {{5, 0}, {0, 0}},    // out-of-range entries become 0 in place; none is dropped
        {{}, {0}},           // an empty order plays the first pattern
        {{1, -1, 1}, {1, 0, 1}},
    };
    for (const auto& [order, blockPatterns] : cases) {
        Project project = loadedProject();
        project.order = order;
        project.normalize();
        ASSERT_TRUE(project.arrangement);
        const auto& song = *project.arrangement;
        ASSERT_EQ(song.blocks.size(), blockPatterns.size());
        for (std::size_t i = 0; i < blockPatterns.size(); ++i) {
            EXPECT_EQ(song.blocks[i].pattern, blockPatterns[i]);
            EXPECT_EQ(song.blocks[i].repeats, 1);
        }
        EXPECT_TRUE(song.markers.empty());
        EXPECT_EQ(song.loop, (SongLoopRegion{.startBlock = 0, .endBlock = 0, .enabled = false}));
        EXPECT_EQ(project.order, blockPatterns);
    }
}

TEST(ProjectRepair, RepairsSongBlocksAndRebuildsTheOrderFromThem)
{
    struct Case {
        std::vector<std::pair<int, int>> blocks; // pattern, repeats
        std::vector<std::pair<int, int>> repaired;
        std::vector<int> order;
    };
    const std::vector<Case> cases{
        {{{1, 3}, {0, 1}}, {{1, 3}, {0, 1}}, {1, 1, 1, 0}},
        {{{1, 0}, {0, 100}}, {{1, 1}, {0, 64}}, joined({1}, std::vector<int>(64, 0))},
        {{{2, 2}, {-1, -5}}, {{0, 2}, {0, 1}}, {0, 0, 0}},
        {{}, {{0, 1}}, {0}},
    };
    for (const auto& [blocks, repaired, order] : cases) {
        Project project = loadedProject();
        project.order = {1, 1, 1, 1, 1}; // disagrees with every song: the blocks win
        project.arrangement = songOf(blocks);
        const auto ids = [&] {
            std::vector<Uuid> result;
            for (const auto& block : project.arrangement->blocks) result.push_back(block.id);
            return result;
        }();
        project.normalize();
        const auto& song = *project.arrangement;
        ASSERT_EQ(song.blocks.size(), repaired.size());
        for (std::size_t i = 0; i < repaired.size(); ++i) {
            EXPECT_EQ(song.blocks[i].pattern, repaired[i].first);
            EXPECT_EQ(song.blocks[i].repeats, repaired[i].second);
            if (i < ids.size()) {
                EXPECT_EQ(song.blocks[i].id, ids[i]) << "blocks are repaired in place";
            }
        }
        EXPECT_EQ(project.order, order);
    }
}

TEST(ProjectRepair, KeepsMarkersAndTheLoopInsideTheSong)
{
    struct Case {
        SongMarker marker;
        SongLoopRegion loop;
        std::string name;
        int block;
        SongLoopRegion repairedLoop;
    };
    const std::vector<Case> cases{
        {{.name = "", .block = 99}, {2, 1, true}, "Marker", 2, {2, 2, true}},
        {{.name = "Drop", .block = -4}, {-3, 7, false}, "Drop", 0, {0, 2, false}},
        {{.name = "Outro", .block = 1}, {5, -3, true}, "Outro", 1, {2, 2, true}},
        {{.name = " ", .block = 2}, {0, 1, true}, " ", 2, {0, 1, true}},
    };
    for (const auto& [marker, loop, name, block, repairedLoop] : cases) {
        Project project = loadedProject();
        project.arrangement = songOf({{0, 1}, {1, 1}, {0, 2}});
        project.arrangement->markers = {marker};
        project.arrangement->loop = loop;
        project.normalize();
        const auto& song = *project.arrangement;
        ASSERT_EQ(song.markers.size(), 1u);
        EXPECT_EQ(song.markers[0].id, marker.id);
        EXPECT_EQ(song.markers[0].name, name);
        EXPECT_EQ(song.markers[0].block, block);
        EXPECT_EQ(song.loop, repairedLoop);
    }
}

TEST(ProjectRepair, SizesTheMixerToTheWidestPattern)
{
    for (int trackCount : {8, 16}) {
        Project project = loadedProject();
        project.patterns = {Pattern("Narrow", 4, 4), Pattern("Wide", 4, 12)};
        project.mixer.clear();
        for (int i = 0; i < trackCount; ++i) project.mixer.push_back(MixerTrack{.volume = 0.01 * (i + 1)});
        project.normalize();
        ASSERT_EQ(project.mixer.size(), 12u);
        for (int i = 0; i < 12; ++i) {
            const MixerTrack expected = i < trackCount ? MixerTrack{.volume = 0.01 * (i + 1)} : MixerTrack{};
            EXPECT_EQ(project.mixer[static_cast<std::size_t>(i)], expected) << "track " << i;
        }
    }
}

TEST(ProjectRepair, AddsTheMasterSectionAndSwingButNotTheModulationRack)
{
    const Project project = normalized(loadedProject());
    ASSERT_TRUE(project.masterFX);
    EXPECT_EQ(*project.masterFX, MasterFX{});
    EXPECT_EQ(project.masterFX->bitDepth, 16);
    EXPECT_EQ(project.swing, 0.0);
    EXPECT_FALSE(project.modulation);

    // A stored master section is kept exactly, out-of-range values and a missing bit depth included.
    Project stored = loadedProject();
    stored.masterFX = MasterFX{.cutoff = 5, .delayFeedback = 99, .bitDepth = std::nullopt};
    EXPECT_EQ(normalized(stored).masterFX, stored.masterFX);
}

TEST(ProjectRepair, ClampsSwingAndMasterVolume)
{
    struct Case {
        std::optional<double> swing;
        double swingAfter;
        double masterVolume;
        double masterVolumeAfter;
    };
    const std::vector<Case> cases{
        {std::nullopt, 0, 0.8, 0.8}, {1.5, 1, 1.5, 1}, {-0.5, 0, -1, 0}, {notANumber, 0, 0, 0}, {0.3, 0.3, 1, 1},
    };
    for (const auto& [swing, swingAfter, masterVolume, masterVolumeAfter] : cases) {
        Project project = loadedProject();
        project.swing = swing;
        project.masterVolume = masterVolume;
        project.normalize();
        EXPECT_EQ(project.swing, swingAfter);
        EXPECT_EQ(project.masterVolume, masterVolumeAfter);
    }
}

TEST(ProjectRepair, RepairsTheModulationRack)
{
    Project project = loadedProject();
    const ModulationSource lfo{.rateBeats = 0, .phase = -0.25, .attack = 40, .decay = -1, .sustain = 2,
                               .release = 0, .macroValue = -1};
    const ModulationSource slow{.rateBeats = 100, .phase = 2.5, .sustain = -1, .release = 31, .macroValue = 3};
    const ModulationSource deleted;
    project.modulation = ModulationRack{
        .sources = {lfo, slow},
        .routes = {
            ModulationRoute{.sourceID = lfo.id, .amount = 2, .track = 2, .instrument = 1},   // one past the end
            ModulationRoute{.sourceID = deleted.id, .amount = 0.5},
            ModulationRoute{.sourceID = slow.id, .amount = -3, .track = 1, .instrument = 0}, // last valid
            ModulationRoute{.sourceID = lfo.id, .amount = 0.25, .track = -1, .instrument = -1},
        }};
    project.normalize();

    const auto& rack = *project.modulation;
    ASSERT_EQ(rack.sources.size(), 2u);
    const auto& a = rack.sources[0];
    EXPECT_EQ(a.rateBeats, 1.0 / 64);
    EXPECT_EQ(a.phase, 0.75);
    EXPECT_EQ(a.attack, 30);
    EXPECT_EQ(a.decay, 0);
    EXPECT_EQ(a.sustain, 1);
    EXPECT_EQ(a.release, 0.001);
    EXPECT_EQ(a.macroValue, 0);
    const auto& b = rack.sources[1];
    EXPECT_EQ(b.rateBeats, 64);
    EXPECT_EQ(b.phase, 0.5);
    EXPECT_EQ(b.sustain, 0);
    EXPECT_EQ(b.release, 30);
    EXPECT_EQ(b.macroValue, 1);

    ASSERT_EQ(rack.routes.size(), 3u) << "the route of the deleted source is dropped";
    EXPECT_EQ(rack.routes[0].amount, 1);
    EXPECT_EQ(rack.routes[0].track, std::nullopt);
    EXPECT_EQ(rack.routes[0].instrument, std::nullopt);
    EXPECT_EQ(rack.routes[1].amount, -1);
    EXPECT_EQ(rack.routes[1].track, 1);
    EXPECT_EQ(rack.routes[1].instrument, 0);
    EXPECT_EQ(rack.routes[2].amount, 0.25);
    EXPECT_EQ(rack.routes[2].track, std::nullopt);
    EXPECT_EQ(rack.routes[2].instrument, std::nullopt);
}

TEST(ProjectRepair, RouteTracksAreCheckedAgainstTheRepairedMixer)
{
    // Eight tracks stored, but the widest pattern has two: track 5 no longer exists.
    Project project = loadedProject();
    project.mixer = std::vector<MixerTrack>(8);
    const ModulationSource source;
    project.modulation = ModulationRack{.sources = {source},
                                        .routes = {ModulationRoute{.sourceID = source.id, .track = 9},
                                                   ModulationRoute{.sourceID = source.id, .track = 5}}};
    project.normalize();
    for (const auto& route : project.modulation->routes) EXPECT_EQ(route.track, std::nullopt);
}

TEST(ProjectRepair, LfoPhaseLandsInTheFirstCycle)
{
    const std::vector<std::pair<double, double>> cases{
        {-0.25, 0.75}, {2.5, 0.5}, {1, 0}, {0.999, 0.999}, {-3, 0},
        {-1e-20, 0}, // the fractional part rounds up to 1, which is the start of the next cycle
    };
    for (auto [phase, expected] : cases) {
        Project project = loadedProject();
        project.modulation = ModulationRack{.sources = {ModulationSource{.phase = phase}}};
        project.normalize();
        const double repaired = project.modulation->sources[0].phase;
        EXPECT_EQ(repaired, expected) << "phase " << phase;
        EXPECT_TRUE(repaired >= 0 && repaired < 1);
    }
}

TEST(ProjectRepair, ClampsMixerTracksAndInstrumentsButLeavesTheirSound)
{
    Project project = loadedProject();
    project.mixer[0] = MixerTrack{.volume = 2, .pan = -3, .cutoff = 5, .resonance = 9, .drive = 4};
    project.mixer[1] = MixerTrack{.volume = -1, .pan = 3};
    auto& instrument = project.instruments[0];
    instrument.volume = 1.5;
    instrument.pan = -2;
    instrument.sustain = 7;
    instrument.tune = 100;
    instrument.attack = 9;
    instrument.cutoff = 1;
    instrument.fm = FMSettings{.amount = 4, .carrier = {.ratio = 99}};
    const Instrument stored = instrument;

    project.normalize();
    EXPECT_EQ(project.mixer[0], (MixerTrack{.volume = 1, .pan = -1, .cutoff = 5, .resonance = 9, .drive = 4}));
    EXPECT_EQ(project.mixer[1], (MixerTrack{.volume = 0, .pan = 1}));
    Instrument expected = stored;
    expected.volume = 1;
    expected.pan = -1;
    expected.sustain = 1;
    EXPECT_EQ(project.instruments[0], expected);
}

TEST(ProjectRepair, KeepsSampleEditsWithinTheSample)
{
    struct Case {
        const char* name;
        SampleEdit stored;
        SampleEdit repaired;
    };
    const std::vector<Case> cases{
        {"untouched", SampleEdit{}, SampleEdit{}},
        {"trim end before start", {.trimStart = 0.5, .trimEnd = 0.2}, {.trimStart = 0.5, .trimEnd = 0.5 + 0.001}},
        {"trim past the end", {.trimStart = 1.5, .trimEnd = 3}, {.trimStart = 0.999, .trimEnd = 1}},
        {"negative trim and fades", {.trimStart = -1, .fadeIn = -0.5, .fadeOut = 2}, {.fadeIn = 0, .fadeOut = 1}},
        {"loop end before loop start",
         {.loopStart = 0.6, .loopEnd = 0.1},
         {.loopStart = 0.6, .loopEnd = 0.6 + 0.001}},
        {"loop past the end", {.loopStart = 2, .loopEnd = 5}, {.loopStart = 0.999, .loopEnd = 1}},
        {"loop end alone", {.loopEnd = 0}, {.loopEnd = 0.001}},
        {"loop start alone", {.loopStart = -0.2}, {.loopStart = 0}},
        {"crossfade", {.loopCrossfade = 0.5}, {.loopCrossfade = 0.25}},
        {"slices", {.slicePoints = std::vector<double>{0.5, 0, 0.25, 0.5, 1.2}}, {.slicePoints = std::vector<double>{0.25, 0.5}}},
        {"slices that are not positions",
         {.slicePoints = std::vector<double>{notANumber, 0.75, -infinity, infinity, -0.1, 1, 0.1}},
         {.slicePoints = std::vector<double>{0.1, 0.75}}},
        {"emptied slices stay present", {.slicePoints = std::vector<double>{0, 1}}, {.slicePoints = std::vector<double>{}}},
        {"flags kept", {.reversed = true, .loop = true, .snapToZeroCrossings = false}, {.reversed = true, .loop = true, .snapToZeroCrossings = false}},
    };
    for (const auto& [name, stored, repaired] : cases) {
        SCOPED_TRACE(name);
        Project project = loadedProject();
        project.instruments[0].sampleEdit = stored;
        project.normalize();
        EXPECT_EQ(project.instruments[0].sampleEdit, repaired);
    }

    Project withoutEdit = loadedProject();
    EXPECT_FALSE(normalized(withoutEdit).instruments[0].sampleEdit);
}
