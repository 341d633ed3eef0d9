// Pattern tools on the selection: what region and values each tool passes, one undo step per call, and
// what happens to the cursor.

#include "ModelTestSupport.hpp"

#include <cmath>
#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

/// A model whose pattern 0 is `rows` × `channels` and empty, with as many mixer tracks, cursor at 0, 0.
AppModel& modelWithPattern(ModelHarness& harness, int rows = 64, int channels = 8)
{
    auto& model = harness.make();
    Project project = model.project();
    project.patterns[0] = Pattern("Pattern 1", rows, channels);
    project.mixer.assign(static_cast<std::size_t>(channels), MixerTrack{});
    model.setProject(std::move(project));
    return model;
}

void setCell(AppModel& model, int row, int track, Cell cell)
{
    Project project = model.project();
    project.patterns[0].setCell(row, track, std::move(cell));
    model.setProject(std::move(project));
}

const Cell& cellAt(const AppModel& model, int row, int track) { return model.project().patterns[0].cell(row, track); }

Cell note(int pitch, std::optional<std::uint8_t> volume = std::nullopt)
{
    return Cell{.note = NotePitch{pitch}, .instrument = 0, .volume = volume};
}

/// Selects rows `fromRow` ... `toRow` over tracks `fromTrack` ... `toTrack`, the cursor at the end.
void selectRange(AppModel& model, int fromRow, int fromTrack, int toRow, int toTrack)
{
    model.select(fromRow, fromTrack, std::nullopt, false);
    model.select(toRow, toTrack, std::nullopt, true);
}

} // namespace

TEST(AppModelPatternTools, InterpolateRampsTheCursorTrackOverTheSelectionOrThePattern)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    setCell(model, 0, 0, Cell{.volume = 0});
    setCell(model, 63, 0, Cell{.volume = 63});
    model.interpolateVolume();
    for (int row = 0; row < 64; ++row) EXPECT_EQ(cellAt(model, row, 0).volume, row) << row;
    EXPECT_EQ(model.undoStack().size(), 1u);

    // A selection over rows 8 to 16 and tracks 2 to 5: only the cursor track (5) takes the ramp.
    for (int track = 2; track <= 5; ++track) {
        setCell(model, 8, track, Cell{.volume = 8});
        setCell(model, 16, track, Cell{.volume = 24});
    }
    selectRange(model, 8, 2, 16, 5);
    model.interpolateVolume();
    EXPECT_EQ(cellAt(model, 12, 5).volume, 16);
    EXPECT_EQ(cellAt(model, 9, 5).volume, 10);
    for (int track = 2; track < 5; ++track) EXPECT_FALSE(cellAt(model, 12, track).volume) << track;
}

TEST(AppModelPatternTools, InterpolateWithoutAnEndVolumeChangesNothingButIsAStep)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    setCell(model, 0, 0, Cell{.volume = 10});
    const Project before = model.project();
    model.interpolateVolume();
    EXPECT_EQ(model.project(), before);
    ASSERT_TRUE(model.canUndo());
    model.undo();
    EXPECT_EQ(model.project(), before);
}

TEST(AppModelPatternTools, AddingALockGivesTheSelectedInstrumentAndReplacesAnEarlierValue)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    model.setSelectedInstrument(2);
    model.select(4, 1, std::nullopt, false);
    const auto cutoff = ParameterTarget::instrumentCutoff;
    model.setParameterLock(cutoff, defaultValue(cutoff));
    EXPECT_EQ(cellAt(model, 4, 1).instrument, 2);
    ASSERT_EQ(cellAt(model, 4, 1).locks.size(), 1u);
    EXPECT_EQ(cellAt(model, 4, 1).locks[0].value, defaultValue(cutoff));

    model.setParameterLock(cutoff, 1000);
    ASSERT_EQ(cellAt(model, 4, 1).locks.size(), 1u);
    EXPECT_EQ(cellAt(model, 4, 1).locks[0].value, 1000);

    // Beyond the range: the nearest bound. A track target leaves the cell without instrument.
    model.setParameterLock(ParameterTarget::trackDrive, 7, 9, 3);
    ASSERT_EQ(cellAt(model, 9, 3).locks.size(), 1u);
    EXPECT_EQ(cellAt(model, 9, 3).locks[0].value, range(ParameterTarget::trackDrive).upperBound);
    EXPECT_FALSE(cellAt(model, 9, 3).instrument);
    model.setParameterLock(cutoff, -5);
    EXPECT_EQ(cellAt(model, 4, 1).locks[0].value, range(cutoff).lowerBound);
    EXPECT_EQ(model.undoStack().size(), 4u);

    // Removal takes every lock of the target and keeps the instrument.
    model.setParameterLock(ParameterTarget::instrumentTune, 3);
    model.removeParameterLock(cutoff);
    ASSERT_EQ(cellAt(model, 4, 1).locks.size(), 1u);
    EXPECT_EQ(cellAt(model, 4, 1).locks[0].target, ParameterTarget::instrumentTune);
    EXPECT_EQ(cellAt(model, 4, 1).instrument, 2);
}

TEST(AppModelPatternTools, ALockOnACellOutsideThePatternOrWithoutInstrumentsIsSafe)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness, 16, 4);
    model.setParameterLock(ParameterTarget::instrumentVolume, 0.5, 16, 0);
    model.setParameterLock(ParameterTarget::instrumentVolume, 0.5, 0, 4);
    EXPECT_FALSE(model.canUndo());

    // With no instruments, an instrument lock names none rather than an index the project lacks.
    Project project = model.project();
    project.instruments.clear();
    model.setProject(std::move(project));
    model.setParameterLock(ParameterTarget::instrumentVolume, 0.5);
    EXPECT_FALSE(cellAt(model, 0, 0).instrument);
    EXPECT_EQ(cellAt(model, 0, 0).locks.size(), 1u);
}

TEST(AppModelPatternTools, ResizingKeepsTheCursorInsideAndTheMixerAsWideAsTheWidestPattern)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness, 64, 4);
    selectRange(model, 10, 0, 50, 3);
    model.resizeCurrentPattern(32, std::nullopt);
    EXPECT_EQ(model.project().patterns[0].rows, 32);
    EXPECT_EQ(model.selectedRow(), 31);
    EXPECT_FALSE(model.selectionAnchor());

    model.resizeCurrentPattern(std::nullopt, 6);
    ASSERT_EQ(model.project().mixer.size(), 6u);
    EXPECT_EQ(model.project().mixer[5], MixerTrack{});
    EXPECT_EQ(model.project().mixer[5].volume, 0.85);

    model.resizeCurrentPattern(std::nullopt, 2);
    EXPECT_EQ(model.project().mixer.size(), 2u);
    EXPECT_EQ(model.selectedTrack(), 1);

    // A mixer wider than every pattern is cut to the pattern's width.
    Project project = model.project();
    project.mixer.assign(8, MixerTrack{.volume = 0.5});
    model.setProject(std::move(project));
    model.resizeCurrentPattern(std::nullopt, 6);
    EXPECT_EQ(model.project().mixer.size(), 6u);
    EXPECT_EQ(model.project().mixer[0].volume, 0.5);
    EXPECT_EQ(model.undoStack().size(), 4u);
}

TEST(AppModelPatternTools, NarrowingOnePatternKeepsTheStripsAWiderPatternPlays)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness, 64, 8);
    Project project = model.project();
    project.patterns.push_back(Pattern("Wide", 16, 12));
    project.mixer.assign(12, MixerTrack{});
    project.mixer[11].muted = true;
    model.setProject(std::move(project));

    model.resizeCurrentPattern(std::nullopt, 2);
    ASSERT_EQ(model.project().mixer.size(), 12u);
    EXPECT_TRUE(model.project().mixer[11].muted);

    model.selectPattern(1);
    model.resizeCurrentPattern(std::nullopt, 20);
    EXPECT_EQ(model.project().mixer.size(), 20u);
    model.resizeCurrentPattern(std::nullopt, 1);
    EXPECT_EQ(model.project().mixer.size(), 2u); // pattern 0 now is the widest
}

TEST(AppModelPatternTools, EuclideanFillStartsAtTheSelectionAndFitsTheRowsLeft)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    model.setSelectedInstrument(1);
    model.euclideanFill(3, 8, 36);
    std::vector<int> hits;
    for (int row = 0; row < 64; ++row) if (cellAt(model, row, 0).note) hits.push_back(row);
    EXPECT_EQ(hits, (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(cellAt(model, 3, 0), (Cell{.note = NotePitch{36}, .instrument = 1, .volume = 52}));

    ModelHarness second;
    auto& other = modelWithPattern(second);
    selectRange(other, 60, 2, 63, 2);
    other.euclideanFill(3, 8, 40);
    hits.clear();
    for (int row = 0; row < 64; ++row) if (other.project().patterns[0].cell(row, 2).note) hits.push_back(row);
    EXPECT_EQ(hits, (std::vector<int>{60, 62, 63}));
}

TEST(AppModelPatternTools, MelodyDrawsFromTheScaleAboveTheRootCappedAt127)
{
    struct Case {
        int root;
        bool minor;
        std::set<int> allowed;
    };
    for (const auto& [root, minor, allowed] :
         {Case{120, false, {120, 122, 124, 125, 127}}, Case{60, true, {60, 62, 63, 65, 67, 68, 70, 72}}}) {
        ModelHarness harness;
        auto& model = modelWithPattern(harness, 256, 4);
        model.select(0, 3, std::nullopt, false);
        model.randomMelody(1.0, root, minor);
        std::set<int> drawn;
        for (int row = 0; row < 256; ++row) {
            const auto& cell = cellAt(model, row, 3);
            if (!cell.note) continue;
            drawn.insert(*pitchOf(*cell.note));
            EXPECT_GE(*cell.volume, 40);
            EXPECT_LE(*cell.volume, 64);
        }
        EXPECT_EQ(drawn, allowed) << root;
        EXPECT_FALSE(cellAt(model, 0, 0).note);
    }
}

TEST(AppModelPatternTools, AccentHumanizeDoubleTransposeAndRotateWorkOnTheSelection)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness, 200, 2);
    for (int row = 14; row <= 18; ++row) if (row != 15) setCell(model, row, 0, note(60, 30));
    selectRange(model, 14, 0, 18, 0);
    model.accent();
    EXPECT_EQ(cellAt(model, 14, 0).volume, 40);
    EXPECT_EQ(cellAt(model, 16, 0).volume, 64);
    EXPECT_EQ(cellAt(model, 17, 0).volume, 40);
    EXPECT_TRUE(cellAt(model, 15, 0).isEmpty());

    setCell(model, 20, 1, Cell{.note = NoteOff{}});
    setCell(model, 21, 1, note(120));
    setCell(model, 22, 1, note(60, 64));
    model.select(20, 1, std::nullopt, false);
    model.transpose(12);
    EXPECT_EQ(cellAt(model, 21, 1).note, StepNote{NotePitch{120}});
    EXPECT_EQ(cellAt(model, 22, 1).note, StepNote{NotePitch{72}});
    EXPECT_EQ(cellAt(model, 20, 1).note, StepNote{NoteOff{}});

    model.humanize();
    EXPECT_GE(*cellAt(model, 22, 1).volume, 58);
    EXPECT_LE(*cellAt(model, 22, 1).volume, 64);
    ASSERT_TRUE(cellAt(model, 20, 1).volume); // a note-off without volume starts from 52
    EXPECT_GE(*cellAt(model, 20, 1).volume, 46);
    EXPECT_LE(*cellAt(model, 20, 1).volume, 58);
    EXPECT_TRUE(cellAt(model, 23, 1).isEmpty());

    selectRange(model, 0, 0, 3, 0);
    for (int row = 0; row < 4; ++row) setCell(model, row, 0, note(60 + row));
    model.rotateRows(-1);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(cellAt(model, row, 0).note, StepNote{NotePitch{60 + (row + 1) % 4}});

    model.doublePattern();
    EXPECT_EQ(model.project().patterns[0].rows, 256);
    EXPECT_EQ(cellAt(model, 200, 0), cellAt(model, 0, 0));
    EXPECT_EQ(cellAt(model, 255, 0), cellAt(model, 55, 0));
    const Project full = model.project();
    model.doublePattern();
    EXPECT_EQ(model.project(), full);
    EXPECT_EQ(model.selectedRow(), 3); // the cursor stays
}

TEST(AppModelPatternTools, TheCellPanelEditsTheCursorCellAndKeepsItLoadable)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    model.select(5, 2, std::nullopt, false);
    model.updateCell([](Cell& cell) {
        cell.note = NotePitch{64};
        cell.gate = 2.5;
    });
    EXPECT_EQ(cellAt(model, 5, 2), (Cell{.note = NotePitch{64}, .gate = 2.5}));

    // Values a project file cannot hold never reach the document.
    model.updateCell([](Cell& cell) {
        cell.note = NotePitch{200};
        cell.instrument = 99;
        cell.volume = 90;
        cell.gate = std::numeric_limits<double>::quiet_NaN();
    });
    const auto& cell = cellAt(model, 5, 2);
    EXPECT_EQ(cell.note, StepNote{NotePitch{64}});
    EXPECT_EQ(cell.instrument, static_cast<int>(model.project().instruments.size()) - 1);
    EXPECT_EQ(cell.volume, 64);
    EXPECT_EQ(cell.gate, 2.5);
    EXPECT_EQ(model.undoStack().size(), 2u);
}

TEST(AppModelPatternTools, ToolsOnAPatternIndexTheProjectLacksDoNothing)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    model.setPatternIndex(3);
    model.accent();
    model.transpose(1);
    model.resizeCurrentPattern(8, 2);
    model.updateCell([](Cell& cell) { cell.volume = 3; });
    model.euclideanFill(1, 1, 60);
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelPatternTools, SwingAndRowsPerBeatAreOneStepEach)
{
    ModelHarness harness;
    auto& model = modelWithPattern(harness);
    Project project = model.project();
    project.swing.reset();
    model.setProject(std::move(project));
    model.setSwing(0.2);
    EXPECT_EQ(model.project().swing, 0.2);
    model.setSwing(0.3);
    model.setRowsPerBeat(3);
    EXPECT_EQ(model.project().rowsPerBeat, 3);
    EXPECT_EQ(model.undoStack().size(), 3u);
    model.undo();
    model.undo();
    EXPECT_EQ(model.project().swing, 0.2);

    // Values a project file refuses are held back: counts to 1 ... 16, a swing that is not a number.
    model.setRowsPerBeat(0);
    EXPECT_EQ(model.project().rowsPerBeat, 1);
    model.setRowsPerBeat(40);
    EXPECT_EQ(model.project().rowsPerBeat, 16);
    const auto steps = model.undoStack().size();
    model.setSwing(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.undoStack().size(), steps);
}
