// Live MIDI recording through the model: received notes written at the cursor (step) or into the row
// playing now (real time), overdub and replace, gates from held notes, and the one undo step a whole
// recording makes. Notes arrive through the model's MIDI connection, as from a keyboard.

#include "TransportTestSupport.hpp"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

using namespace testing;

const Cell decorated{
    .note = NotePitch{40},
    .instrument = 3,
    .volume = 10,
    .effects = {Effect{EffectType::pan, 0x20}, Effect{EffectType::arpeggio, 0x37}},
    .gate = 2.5,
    .locks = {ParameterLock{ParameterTarget::instrumentPan, 0.5}},
};

/// A model over `songProject()` with every cell of track 0 in pattern A decorated, armed in `mode`.
AppModel& armedModel(ModelHarness& harness, LiveRecordMode mode, LiveRecordWriteMode writeMode)
{
    auto& model = harness.make();
    Project project = songProject();
    for (int row = 0; row < 4; ++row) project.patterns[0].setCell(row, 0, decorated);
    model.setProject(project);
    model.setLiveRecordMode(mode);
    model.setLiveRecordWriteMode(writeMode);
    model.setSelectedInstrument(1);
    model.toggleLiveRecording();
    return model;
}

void pressKey(ModelHarness& harness, int note, int velocity) { harness.midi->onNoteOn(note, velocity); }
void releaseKey(ModelHarness& harness, int note) { harness.midi->onNoteOff(note); }

TEST(TransportRecording, StepRecordingWritesAtTheCursorAndMovesDown)
{
    for (const auto writeMode : {LiveRecordWriteMode::overdub, LiveRecordWriteMode::replace}) {
        ModelHarness harness;
        auto& model = armedModel(harness, LiveRecordMode::step, writeMode);
        model.setSelectedRow(1);
        pressKey(harness, 60, 127);
        pressKey(harness, 62, 100);
        pressKey(harness, 64, 64);
        pressKey(harness, 65, 1); // on the last row: the cursor stays there
        EXPECT_EQ(model.selectedRow(), 3);
        const Pattern& pattern = model.project().patterns[0];
        const std::pair<int, int> expected[] = {{60, 64}, {62, 50}, {65, 0}};
        for (int row = 1; row <= 3; ++row) {
            const Cell& cell = pattern.cell(row, 0);
            EXPECT_EQ(cell.note, StepNote{NotePitch{expected[row - 1].first}});
            EXPECT_EQ(cell.instrument, 1);
            EXPECT_EQ(cell.volume, expected[row - 1].second);
            if (writeMode == LiveRecordWriteMode::overdub) {
                EXPECT_EQ(cell.effects, decorated.effects);
                EXPECT_EQ(cell.gate, decorated.gate);
                EXPECT_EQ(cell.locks, decorated.locks);
            } else {
                EXPECT_EQ(cell.effects, Cell{}.effects);
                EXPECT_FALSE(cell.gate);
                EXPECT_TRUE(cell.locks.empty());
            }
        }
        EXPECT_EQ(pattern.cell(0, 0), decorated);
        // Every note is heard too, on the selected instrument and track.
        ASSERT_EQ(harness.engine->triggers.size(), 4u);
        EXPECT_EQ(harness.engine->triggers[0].cell.volume, 64);
        EXPECT_EQ(harness.engine->triggers[0].duration, AppModel::auditionSeconds);
    }
}

TEST(TransportRecording, StepRecordingWritesANoteOffWhenAKeyIsReleasedIfAsked)
{
    ModelHarness harness;
    auto& model = armedModel(harness, LiveRecordMode::step, LiveRecordWriteMode::overdub);
    releaseKey(harness, 60);
    EXPECT_EQ(model.selectedRow(), 0) << "releases write nothing unless asked";
    model.setRecordMIDINoteOff(true);
    pressKey(harness, 60, 90);
    releaseKey(harness, 60);
    pressKey(harness, 67, 90);
    releaseKey(harness, 50); // whichever key it is
    const Pattern& pattern = model.project().patterns[0];
    EXPECT_EQ(pattern.cell(0, 0).note, StepNote{NotePitch{60}});
    EXPECT_EQ(pattern.cell(1, 0).note, StepNote{NoteOff{}});
    EXPECT_EQ(pattern.cell(1, 0).instrument, decorated.instrument) << "only the note changes";
    EXPECT_EQ(pattern.cell(2, 0).note, StepNote{NotePitch{67}});
    EXPECT_EQ(pattern.cell(3, 0).note, StepNote{NoteOff{}});
}

TEST(TransportRecording, ARecordingIsOneUndoStepFromArmingToDisarming)
{
    ModelHarness harness;
    auto& model = armedModel(harness, LiveRecordMode::step, LiveRecordWriteMode::overdub);
    const Project before = model.project();
    pressKey(harness, 60, 100);
    pressKey(harness, 61, 100);
    EXPECT_FALSE(model.canUndo()) << "nothing is pushed while recording";
    EXPECT_TRUE(model.isDirty());
    EXPECT_EQ(harness.engine->applied.back(), model.project());
    model.toggleLiveRecording();
    EXPECT_FALSE(model.isLiveRecording());
    ASSERT_EQ(model.undoStack().size(), 1u);
    model.undo();
    EXPECT_EQ(model.project(), before);

    // Arming and disarming without a change pushes nothing and keeps the redo history.
    ASSERT_TRUE(model.canRedo());
    model.toggleLiveRecording();
    model.toggleLiveRecording();
    EXPECT_FALSE(model.canUndo());
    EXPECT_TRUE(model.canRedo());
}

TEST(TransportRecording, NotesAreOnlyHeardWhileDisarmedAndNothingWithMIDIOff)
{
    ModelHarness harness;
    auto& model = harness.make();
    const Project before = model.project();
    pressKey(harness, 60, 100);
    EXPECT_EQ(model.project(), before);
    ASSERT_EQ(harness.engine->triggers.size(), 1u);
    EXPECT_EQ(harness.engine->starts, 1);
    EXPECT_EQ(harness.engine->triggers[0].cell.note, StepNote{NotePitch{60}});
    EXPECT_EQ(harness.engine->triggers[0].cell.volume, 50);

    // An instrument that is not there makes no sound and starts nothing.
    model.setSelectedInstrument(static_cast<int>(model.project().instruments.size()));
    pressKey(harness, 60, 100);
    EXPECT_EQ(harness.engine->triggers.size(), 1u);
    EXPECT_EQ(harness.engine->starts, 1);

    // With MIDI off nothing happens at all, armed or not.
    model.setSelectedInstrument(0);
    model.setMidiEnabled(false);
    model.toggleLiveRecording();
    pressKey(harness, 60, 100);
    releaseKey(harness, 60);
    EXPECT_EQ(harness.engine->triggers.size(), 1u);
    EXPECT_EQ(model.selectedRow(), 0);
    EXPECT_EQ(model.project(), before);

    // A pitch outside MIDI's range is ignored.
    model.setMidiEnabled(true);
    model.handleMIDINoteOn(128, 100);
    EXPECT_EQ(harness.engine->triggers.size(), 1u);
}

TEST(TransportRecording, RealTimeNotesLandOnTheRowPlayingWithTheirOffsetAsADelay)
{
    ModelHarness harness;
    auto& model = armedModel(harness, LiveRecordMode::realtime, LiveRecordWriteMode::overdub);
    pressKey(harness, 60, 100);
    EXPECT_EQ(model.project().patterns[0].cell(0, 0), decorated) << "not playing: only heard";
    EXPECT_EQ(harness.engine->triggers.size(), 1u);

    model.setRecordQuantizeStrength(0);
    playNow(harness);
    playTo(harness, rowFrames * 2 + rowFrames * 5 / 8); // ten sixteenths into row 2
    pressKey(harness, 62, 127);
    const Cell& cell = model.project().patterns[0].cell(2, 0);
    EXPECT_EQ(cell.note, StepNote{NotePitch{62}});
    EXPECT_EQ(cell.instrument, 1);
    EXPECT_EQ(cell.volume, 64);
    // The pan stays in the first column; the delay takes the second.
    EXPECT_EQ(cell.effects[0], (Effect{EffectType::pan, 0x20}));
    EXPECT_EQ(cell.effects[1], (Effect{EffectType::delay, 10}));
    EXPECT_EQ(cell.gate, decorated.gate) << "the gate comes with the release";

    // Held for three rows: gate 3.
    harness.engine->frame = rowFrames * 5 + rowFrames * 5 / 8;
    releaseKey(harness, 62);
    EXPECT_DOUBLE_EQ(*model.project().patterns[0].cell(2, 0).gate, 3.0);

    // Full strength pulls a note to the nearest row start, with no delay.
    model.setRecordQuantizeStrength(1);
    harness.engine->frame = rowFrames * 4 + rowFrames * 3 + rowFrames * 3 / 4; // second pass, near row 0
    pressKey(harness, 64, 100);
    EXPECT_EQ(model.project().patterns[0].cell(3, 0).note, StepNote{NotePitch{64}})
        << "no wrap to the first row: the last row's note stays on it";
}

TEST(TransportRecording, HeldNotesAreClosedWhereTheyEnd)
{
    ModelHarness harness;
    auto& model = armedModel(harness, LiveRecordMode::realtime, LiveRecordWriteMode::overdub);
    playNow(harness);

    // A note played during the count-in (the frame held at 0) lands on the first row.
    playTo(harness, 0);
    pressKey(harness, 60, 100);
    EXPECT_EQ(model.project().patterns[0].cell(0, 0).note, StepNote{NotePitch{60}});
    // Released in the frame it began: one frame long, the shortest gate.
    releaseKey(harness, 60);
    EXPECT_DOUBLE_EQ(*model.project().patterns[0].cell(0, 0).gate, 0.01);

    // A stop closes a held note at the stop frame.
    harness.engine->frame = rowFrames;
    pressKey(harness, 62, 100);
    harness.engine->frame = rowFrames * 3;
    model.stop();
    EXPECT_DOUBLE_EQ(*model.project().patterns[0].cell(1, 0).gate, 2.0);

    // Closed while no frame is known (disarming after the stop): one row.
    playNow(harness);
    harness.engine->frame = rowFrames * 2;
    pressKey(harness, 64, 100);
    harness.engine->frame.reset();
    model.toggleLiveRecording();
    EXPECT_DOUBLE_EQ(*model.project().patterns[0].cell(2, 0).gate, 1.0);
    EXPECT_EQ(model.undoStack().size(), 1u);
}

TEST(TransportRecording, ReplaceEmptiesTheSelectedTrackRowByRowOncePerPass)
{
    for (const auto writeMode : {LiveRecordWriteMode::replace, LiveRecordWriteMode::overdub}) {
        ModelHarness harness;
        auto& model = armedModel(harness, LiveRecordMode::realtime, writeMode);
        Project project = model.project();
        for (int row = 0; row < 4; ++row) project.patterns[0].setCell(row, 1, decorated);
        model.setProject(project);
        playNow(harness);
        playTo(harness, 0);
        playTo(harness, rowFrames);
        const Pattern* pattern = &model.project().patterns[0];
        const bool replacing = writeMode == LiveRecordWriteMode::replace;
        EXPECT_EQ(pattern->cell(0, 0).isEmpty(), replacing);
        EXPECT_EQ(pattern->cell(1, 0).isEmpty(), replacing);
        EXPECT_EQ(pattern->cell(2, 0), decorated) << "not reached yet";
        EXPECT_EQ(pattern->cell(0, 1), decorated) << "only the selected track";

        // A note recorded in an emptied row goes into the empty cell; the row is not emptied again in
        // this pass, but is in the next.
        model.setRecordQuantizeStrength(1);
        harness.engine->frame = rowFrames + 10;
        pressKey(harness, 70, 100);
        releaseKey(harness, 70);
        playTo(harness, rowFrames + 20);
        pattern = &model.project().patterns[0];
        EXPECT_EQ(pattern->cell(1, 0).note, StepNote{NotePitch{70}});
        playTo(harness, rowFrames * 2);
        playTo(harness, rowFrames * 4);
        playTo(harness, rowFrames * 4 + rowFrames);
        EXPECT_EQ(model.project().patterns[0].cell(1, 0).isEmpty(), replacing);
    }
}

} // namespace
} // namespace veltrane
