#include "WidgetTestSupport.hpp"

#include "Veltrane/Views/Transport/LevelMeterView.hpp"
#include "Veltrane/Views/Transport/PlaybackPositionLabel.hpp"
#include "Veltrane/Views/Transport/TransportBar.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>
#include <limits>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

class TransportBarTest : public WidgetTest {
protected:
    TransportBar& open(int midiSources = 0)
    {
        model = &harness.make();
        bar = std::make_unique<TransportBar>(*model, [midiSources] { return midiSources; });
        bar->resize(900, 83);
        bar->show();
        settle();
        return *bar;
    }

    void typeTempo(const QString& text)
    {
        QLineEdit* field = bar->tempoField();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    }

    ModelHarness harness;
    AppModel* model = nullptr;
    std::unique_ptr<TransportBar> bar;
};

} // namespace

TEST_F(TransportBarTest, CommittedTempoIsClampedAndIsOneUndoStepEach)
{
    open();
    const struct {
        const char* typed;
        double stored;
    } cases[] = {{"10", 20}, {"1000", 400}, {"133", 133}};
    for (const auto& [typed, stored] : cases) {
        const auto steps = model->undoStack().size();
        typeTempo(QString::fromLatin1(typed));
        EXPECT_DOUBLE_EQ(model->project().bpm, stored) << typed;
        EXPECT_EQ(model->undoStack().size(), steps + 1) << typed;
        EXPECT_EQ(bar->tempoField()->text(), QString::number(stored)) << typed;
    }
    // Leaving the field without typing is no edit.
    const auto steps = model->undoStack().size();
    bar->tempoField()->setFocus();
    bar->playButton()->setFocus();
    EXPECT_EQ(model->undoStack().size(), steps);
}

TEST_F(TransportBarTest, TheTempoShowsWholeNumbersAndIsNotResetWhileTyping)
{
    open();
    model->mutate([](Project& p) { p.bpm = 127.6; });
    EXPECT_EQ(bar->tempoField()->text(), "128");

    QLineEdit* field = bar->tempoField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "9");
    model->mutate([](Project& p) { p.bpm = 90; }); // an undo or edit elsewhere while typing
    EXPECT_EQ(field->text(), "9") << "the field the user types in keeps what was typed";
}

TEST_F(TransportBarTest, SettingsWriteTheModelAndModelChangesNeverWriteBack)
{
    open(3);
    EXPECT_EQ(bar->midiToggle()->toolTip(), QStringLiteral("MIDI input \u00B7 3 source(s)"));
    EXPECT_TRUE(bar->midiToggle()->isChecked());
    EXPECT_TRUE(bar->loopToggle()->isChecked());
    EXPECT_FALSE(bar->countInToggle()->isVisibleTo(bar.get())) << "count-in shows only with the metronome";

    bar->metronomeToggle()->click();
    EXPECT_TRUE(model->metronome());
    EXPECT_TRUE(bar->countInToggle()->isVisibleTo(bar.get()));
    bar->countInToggle()->click();
    EXPECT_TRUE(model->countIn());
    bar->metronomeToggle()->click();
    EXPECT_FALSE(bar->countInToggle()->isVisibleTo(bar.get()));
    EXPECT_TRUE(model->countIn()) << "hiding the count-in leaves its value";

    // A change made in the model shows in the controls without a single write back.
    QSignalSpy octaveWrites(model, &AppModel::octaveChanged);
    QSignalSpy loopWrites(model, &AppModel::loopEnabledChanged);
    model->setOctave(2);
    model->setLoopEnabled(false);
    EXPECT_EQ(bar->octaveStepper()->value(), 2);
    EXPECT_FALSE(bar->loopToggle()->isChecked());
    EXPECT_EQ(octaveWrites.count(), 1);
    EXPECT_EQ(loopWrites.count(), 1);

    bar->songScope()->click();
    EXPECT_TRUE(model->songMode());
    EXPECT_EQ(bar->positionCaption(), "SONG POSITION");
    bar->patternScope()->click();
    EXPECT_FALSE(model->songMode());
    EXPECT_EQ(bar->positionCaption(), "PATTERN POSITION");
    EXPECT_TRUE(model->undoStack().empty()) << "settings are no edits";
}

TEST_F(TransportBarTest, TheOctaveStepperStopsAtZeroAndEight)
{
    open();
    QSpinBox* octave = bar->octaveStepper();
    octave->setFocus();
    for (int i = 0; i < 12; ++i) QTest::keyClick(octave, Qt::Key_Down);
    EXPECT_EQ(model->octave(), 0);
    for (int i = 0; i < 12; ++i) QTest::keyClick(octave, Qt::Key_Up);
    EXPECT_EQ(model->octave(), 8);
}

TEST_F(TransportBarTest, ThePlayButtonShowsTheTransportState)
{
    open();
    QToolButton* play = bar->playButton();
    EXPECT_EQ(play->property(symbolProperty).toString(), "play.fill");
    EXPECT_EQ(play->toolTip(), "Play (Space)");
    model->setIsPreparingPlayback(true);
    EXPECT_EQ(play->property(symbolProperty).toString(), "stop.fill");
    EXPECT_EQ(play->toolTip(), "Stop (Space)");
    play->click();
    EXPECT_FALSE(model->isPreparingPlayback()) << "a press while preparing cancels";
    EXPECT_EQ(play->property(symbolProperty).toString(), "play.fill");

    EXPECT_EQ(bar->recordButton()->property(symbolProperty).toString(), "record.circle");
    EXPECT_EQ(bar->recordButton()->toolTip(), "Arm MIDI recording");
    model->setIsLiveRecording(true);
    EXPECT_EQ(bar->recordButton()->property(symbolProperty).toString(), "record.circle.fill");
    EXPECT_EQ(bar->recordButton()->toolTip(), "Disarm MIDI recording");
}

TEST_F(TransportBarTest, ThePositionReadoutFollowsThePlayingRowOrTheCursor)
{
    open();
    PlaybackPositionLabel* position = bar->position();
    EXPECT_EQ(position->text(), "00 : 00");
    model->select(5, 0, std::nullopt, false);
    EXPECT_EQ(position->text(), "00 : 05");
    model->playbackUI().row = 31;
    position->refresh();
    EXPECT_EQ(position->text(), "00 : 1F");
    EXPECT_EQ(PlaybackPositionLabel::positionText(10, 31), "0A : 1F");
    EXPECT_EQ(PlaybackPositionLabel::positionText(256, 255), "100 : FF");
}

TEST_F(TransportBarTest, LevelMetersClampAndColourTheirLevel)
{
    LevelMeterView meter;
    float level = 0;
    meter.levelProvider = [&] { return level; };
    const struct {
        float provided;
        float shown;
        QString percent;
    } cases[] = {
        {1.5f, 1.0f, "100 percent"},
        {-0.2f, 0.0f, "0 percent"},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f, "0 percent"},
        {0.999f, 0.999f, "99 percent"},
        {0.5f, 0.5f, "50 percent"},
    };
    for (const auto& [provided, shown, percent] : cases) {
        level = provided;
        meter.tick();
        EXPECT_FLOAT_EQ(meter.level(), shown) << provided;
        EXPECT_EQ(meter.accessibleDescription(), percent) << provided;
    }
    const Theme& theme = Theme::current();
    EXPECT_EQ(LevelMeterView::colourFor(0.72f), theme.green);
    EXPECT_EQ(LevelMeterView::colourFor(0.7201f), theme.orange);
    EXPECT_EQ(LevelMeterView::colourFor(0.92f), theme.orange);
    EXPECT_EQ(LevelMeterView::colourFor(0.9201f), theme.red);
    EXPECT_EQ(LevelMeterView::colourFor(1.0f), theme.red);

    MeterState meters;
    meters.tracks[3] = 0.25f;
    std::unique_ptr<LevelMeterView> track(makeTrackLevelMeter(meters, 3));
    std::unique_ptr<LevelMeterView> outside(makeTrackLevelMeter(meters, 40));
    track->tick();
    outside->tick();
    EXPECT_FLOAT_EQ(track->level(), 0.25f);
    EXPECT_FLOAT_EQ(outside->level(), 0.0f);
}
