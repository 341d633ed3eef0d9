// The tracker cursor, entry from the computer keyboard and the cell clipboard.

#include "ModelTestSupport.hpp"

using namespace veltrane;
using namespace veltrane::testing;

namespace {

KeyPress typed(std::string text) { return KeyPress{.text = std::move(text)}; }
KeyPress pressed(Key key, bool shift = false) { return KeyPress{.key = key, .shift = shift}; }

const Cell& cellAt(const AppModel& model, int row, int track) { return model.project().patterns[0].cell(row, track); }

/// A model on an empty pattern 0 (the demo notes cleared), cursor at the top left.
AppModel& emptyModel(ModelHarness& harness)
{
    auto& model = harness.make();
    model.setProject([&] {
        Project project = model.project();
        project.patterns[0] = Pattern("Pattern 1", 64, 8);
        return project;
    }());
    return model;
}

} // namespace

TEST(AppModelKeyboard, NoteKeysEnterPitchesInTheOctave)
{
    struct Case {
        int octave;
        const char* key;
        std::optional<int> pitch;
    };
    for (const auto& [octave, key, pitch] : {Case{5, "z", 60}, Case{5, "q", 72}, Case{5, ",", 72}, Case{5, "Z", 60},
                                             Case{10, "z", 120}, Case{10, "u", std::nullopt}, Case{5, "a", std::nullopt},
                                             Case{-1, "u", 11}, Case{-1, "m", std::nullopt}}) {
        ModelHarness harness;
        auto& model = emptyModel(harness);
        model.setOctave(octave);
        model.handleKey(typed(key));
        if (pitch) {
            EXPECT_EQ(cellAt(model, 0, 0).note, StepNote{NotePitch{*pitch}}) << key;
            EXPECT_EQ(model.selectedRow(), 1) << key;
            ASSERT_EQ(harness.engine->triggers.size(), 1u) << key;
            EXPECT_EQ(harness.engine->triggers[0].cell, cellAt(model, 0, 0));
            EXPECT_EQ(harness.engine->triggers[0].duration, 0.35);
            EXPECT_EQ(harness.engine->starts, 1);
        } else {
            EXPECT_EQ(cellAt(model, 0, 0), Cell{}) << key;
            EXPECT_EQ(model.selectedRow(), 0) << key;
            EXPECT_FALSE(model.canUndo()) << key;
        }
    }
}

TEST(AppModelKeyboard, TheGraveAccentWritesANoteOffWithoutAudition)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.setSelectedInstrument(2);
    model.handleKey(typed("`"));
    EXPECT_EQ(cellAt(model, 0, 0), (Cell{.note = NoteOff{}, .instrument = 2}));
    EXPECT_TRUE(harness.engine->triggers.empty());
    EXPECT_EQ(model.selectedRow(), 1);
}

TEST(AppModelKeyboard, NoteEntryKeepsTheCellsInstrumentAndOnlyEverWritesAValidOne)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    editCell(model, 0, 0, Cell{.instrument = 3, .volume = 12});
    model.setSelectedInstrument(1);
    model.handleKey(typed("z"));
    EXPECT_EQ(cellAt(model, 0, 0), (Cell{.note = NotePitch{60}, .instrument = 3, .volume = 12}));

    // A selected index the project no longer has is held to its last instrument.
    model.setSelectedInstrument(9);
    model.handleKey(typed("x"));
    EXPECT_EQ(cellAt(model, 1, 0).instrument, 3);

    // Without instruments the note goes in alone and the project still loads.
    model.mutate([](Project& project) { project.instruments.clear(); });
    model.handleKey(typed("c"));
    EXPECT_EQ(cellAt(model, 2, 0), (Cell{.note = NotePitch{64}}));

    // A failing output keeps the edit.
    harness.engine->startFails = true;
    model.mutate([](Project& project) { project.instruments.push_back(Instrument::withWaveform("Saw", Waveform::saw)); });
    model.handleKey(typed("v"));
    EXPECT_EQ(cellAt(model, 3, 0), (Cell{.note = NotePitch{65}, .instrument = 0}));
    EXPECT_EQ(model.selectedRow(), 4);
}

TEST(AppModelKeyboard, HexadecimalEntryOnTheNumberColumns)
{
    struct Case {
        CellField field;
        int instruments;
        std::vector<const char*> keys;
        Cell expected;
        int row; // where the cursor ends
        std::size_t steps;
    };
    const std::vector<Case> cases{
        {CellField::volume, 4, {"4", "0"}, Cell{.volume = 64}, 1, 2},
        {CellField::volume, 4, {"7", "F"}, Cell{.volume = 64}, 1, 2},
        {CellField::volume, 4, {"8"}, Cell{.volume = 8}, 0, 1},
        {CellField::volume, 4, {"g"}, Cell{}, 0, 0},
        {CellField::instrument, 3, {"F", "F"}, Cell{.instrument = 2}, 1, 2},
        {CellField::instrument, 4, {"0", "2"}, Cell{.instrument = 2}, 1, 2},
        {CellField::instrument, 0, {"0", "1"}, Cell{}, 1, 2},
        {CellField::effect1, 4, {"b"}, Cell{.effects = {Effect{EffectType::arpeggio, 0x0b}, std::nullopt}}, 0, 1},
        {CellField::effect2, 4, {"e", "f"}, Cell{.effects = {std::nullopt, Effect{EffectType::arpeggio, 0xef}}}, 1, 2},
        {CellField::effect1, 4, {"d"}, Cell{.effects = {Effect{EffectType::delay, 0}, std::nullopt}}, 0, 1},
        {CellField::effect1, 4, {"C", "3"}, Cell{.effects = {Effect{EffectType::chance, 3}, std::nullopt}}, 0, 2},
        {CellField::effect2, 4, {"a", "9", "9"}, Cell{.effects = {std::nullopt, Effect{EffectType::arpeggio, 0x99}}}, 1, 3},
    };
    for (const auto& c : cases) {
        ModelHarness harness;
        auto& model = emptyModel(harness);
        model.mutate([&](Project& project) { project.instruments.resize(static_cast<std::size_t>(c.instruments)); });
        const auto before = model.undoStack().size();
        model.select(0, 0, c.field, false);
        std::string keys;
        for (const auto* key : c.keys) {
            model.handleKey(typed(key));
            keys += key;
        }
        EXPECT_EQ(cellAt(model, 0, 0), c.expected) << keys;
        EXPECT_EQ(model.selectedRow(), c.row) << keys;
        EXPECT_EQ(model.undoStack().size() - before, c.steps) << keys;
    }
}

TEST(AppModelKeyboard, AnEffectLetterKeepsTheRowAndClearsTypedDigits)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.select(0, 0, CellField::effect1, false);
    model.handleKey(typed("5"));
    model.handleKey(typed("v"));
    EXPECT_EQ(AppModelTestAccess::hexDigits(model), "");
    model.handleKey(typed("7"));
    EXPECT_EQ(cellAt(model, 0, 0).effects[0], (Effect{EffectType::vibrato, 7}));
    EXPECT_EQ(model.selectedRow(), 0);
}

TEST(AppModelKeyboard, CursorMovesStayInsideThePattern)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.handleKey(pressed(Key::up));
    EXPECT_EQ(model.selectedRow(), 0);
    model.select(63, 7, CellField::effect2, false);
    model.handleKey(pressed(Key::down));
    EXPECT_EQ(model.selectedRow(), 63);
    model.handleKey(typed("z")); // entry on the last row stays there
    EXPECT_EQ(model.selectedRow(), 63);

    model.select(63, 7, CellField::effect2, false);
    model.handleKey(pressed(Key::right));
    EXPECT_EQ(model.selectedTrack(), 7);
    EXPECT_EQ(model.selectedField(), CellField::note);
    model.select(0, 0, CellField::note, false);
    model.handleKey(pressed(Key::left));
    EXPECT_EQ(model.selectedTrack(), 0);
    EXPECT_EQ(model.selectedField(), CellField::effect2);
    model.select(0, 3, CellField::effect2, false);
    model.handleKey(pressed(Key::tab));
    EXPECT_EQ(model.selectedTrack(), 4);
    EXPECT_EQ(model.selectedField(), CellField::note);
    model.select(200, -5, std::nullopt, false);
    EXPECT_EQ(model.selectedRow(), 63);
    EXPECT_EQ(model.selectedTrack(), 0);
}

TEST(AppModelKeyboard, ShiftExtendsWithArrowsButNotWithTab)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.select(4, 2, CellField::volume, false);
    model.handleKey(pressed(Key::tab, true));
    EXPECT_EQ(model.selectedField(), CellField::instrument);
    EXPECT_FALSE(model.selection());
    model.handleKey(pressed(Key::left, true));
    EXPECT_EQ(model.selectionAnchor(), (GridPosition{4, 2}));
    model.handleKey(pressed(Key::down, true));
    model.handleKey(pressed(Key::down, true));
    EXPECT_EQ(model.selection(), (CellRange{.startRow = 4, .startTrack = 2, .endRow = 6, .endTrack = 2}));
    model.handleKey(pressed(Key::down));
    EXPECT_FALSE(model.selection());
}

TEST(AppModelKeyboard, SpaceStopsWhatPlaysOrIsBeingPrepared)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.setIsPreparingPlayback(true);
    model.handleKey(pressed(Key::space));
    EXPECT_FALSE(model.isPreparingPlayback());
    EXPECT_EQ(harness.engine->stops, 1);
}

TEST(AppModelKeyboard, CommandKeysOtherThanCopyPasteAndSelectAllDoNothing)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    editCell(model, 0, 0, Cell{.note = NotePitch{60}});
    const auto project = model.project();
    for (const char* key : {"z", "s", "x", "q"}) model.handleKey(KeyPress{.text = key, .command = true});
    EXPECT_EQ(model.project(), project);
    EXPECT_EQ(model.undoStack().size(), 1u);
    EXPECT_EQ(model.selectedRow(), 0);
}

TEST(AppModelKeyboard, CopyAndPasteABlockThatPartlyFits)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    for (int row = 0; row < 4; ++row) {
        for (int track = 0; track < 4; ++track) editCell(model, row, track, Cell{.note = NotePitch{row * 4 + track}});
    }
    model.select(0, 0, std::nullopt, false);
    model.select(3, 3, std::nullopt, true);
    model.handleKey(KeyPress{.text = "C", .command = true});
    model.select(62, 6, std::nullopt, false);
    model.handleKey(KeyPress{.text = "v", .command = true});
    for (int row = 62; row < 64; ++row) {
        for (int track = 6; track < 8; ++track) {
            EXPECT_EQ(cellAt(model, row, track).note, StepNote{NotePitch{(row - 62) * 4 + track - 6}});
        }
    }
    EXPECT_EQ(model.selectedRow(), 62);
    // The same block goes in again, and survives undo.
    model.undo();
    model.select(10, 0, std::nullopt, false);
    model.pasteSelection();
    EXPECT_EQ(cellAt(model, 13, 3).note, StepNote{NotePitch{15}});
}

TEST(AppModelKeyboard, PasteWithAnEmptyClipboardIsNoStep)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.pasteSelection();
    EXPECT_FALSE(model.canUndo());
}

TEST(AppModelKeyboard, DeleteClearsTheFieldOrTheSelection)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    const Cell full{.note = NotePitch{60}, .instrument = 1, .volume = 30,
                    .effects = {Effect{EffectType::pan, 1}, Effect{EffectType::slide, 2}}};
    for (int row = 0; row < 3; ++row) editCell(model, row, 0, full);

    model.handleKey(pressed(Key::backspace));
    EXPECT_EQ(cellAt(model, 0, 0), (Cell{.instrument = 1, .volume = 30, .effects = full.effects}));
    model.select(0, 0, CellField::effect2, false);
    model.handleKey(pressed(Key::forwardDelete));
    EXPECT_EQ(cellAt(model, 0, 0).effects[1], std::nullopt);
    EXPECT_EQ(cellAt(model, 0, 0).effects[0], full.effects[0]);

    model.select(1, 0, std::nullopt, false);
    model.select(2, 1, std::nullopt, true);
    model.handleKey(pressed(Key::backspace));
    EXPECT_EQ(cellAt(model, 1, 0), Cell{});
    EXPECT_EQ(cellAt(model, 2, 0), Cell{});
    EXPECT_FALSE(model.selection());
}

TEST(AppModelKeyboard, SelectAllSpansThePattern)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.select(5, 5, CellField::volume, false);
    model.handleKey(KeyPress{.text = "a", .command = true});
    EXPECT_EQ(model.selection(), (CellRange{.startRow = 0, .startTrack = 0, .endRow = 63, .endTrack = 7}));
    EXPECT_EQ(model.selectedField(), CellField::volume);
}

TEST(AppModelKeyboard, EditsAfterUndoRemovedTheCursorsPatternDoNothing)
{
    ModelHarness harness;
    auto& model = emptyModel(harness);
    model.mutate([](Project& project) { project.addPattern(); });
    model.setPatternIndex(1);
    model.undo(); // pattern 1 is gone; the cursor still names it
    const auto steps = model.undoStack().size();
    for (const char* key : {"z", "`", "5"}) model.handleKey(typed(key));
    model.handleKey(pressed(Key::backspace));
    model.copySelection();
    model.pasteSelection();
    model.selectAllCells();
    model.handleKey(pressed(Key::down));
    EXPECT_EQ(model.undoStack().size(), steps);
    EXPECT_EQ(model.project().patterns.size(), 1u);
}
