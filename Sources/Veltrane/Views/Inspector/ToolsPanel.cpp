#include "Veltrane/Views/Inspector/ToolsPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/SegmentedPicker.hpp"
#include "Veltrane/Views/Inspector/Stepper.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include "VeltraneCore/Tracker/NoteNames.hpp"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace veltrane {

using namespace inspector;

namespace {

QString counted(const char* label, int value) { return QString::fromUtf8(label) + QString::number(value); }

const Pattern* currentPattern(const AppModel& model)
{
    const auto& patterns = model.project().patterns;
    const int index = model.patternIndex();
    if (index < 0 || index >= static_cast<int>(patterns.size())) return nullptr;
    return &patterns[static_cast<std::size_t>(index)];
}

} // namespace

ToolsPanel::ToolsPanel(AppModel& model, QWidget* parent)
    : InspectorPanel(model, parent)
    , mode_(new SegmentedPicker(QStringLiteral("Mode"), {QStringLiteral("Step"), QStringLiteral("Realtime")}, this))
    , write_(new SegmentedPicker(QStringLiteral("Write"), {QStringLiteral("Overdub"), QStringLiteral("Replace")}, this))
    , quantize_(new ValueSlider(QStringLiteral("Quantize strength"), {0, 1}, this))
    , noteOffs_(checkBox(QStringLiteral("Record MIDI note-offs"), this))
    , hint_(captionLabel(QString(), this))
    , name_(new QLineEdit(this))
    , sendClock_(checkBox(QStringLiteral("Send clock & transport"), this))
    , receiveClock_(checkBox(QStringLiteral("Receive clock & transport"), this))
    , ports_(captionLabel(QString(), this))
    , tempo_(captionLabel(QString(), this, true))
    , length_(new Stepper(this))
    , tracks_(new Stepper(this))
    , rowsPerBeat_(new Stepper(this))
    , double_(new QPushButton(QStringLiteral("Double Pattern Length"), this))
    , euclideanHeading_(sectionTitle(QString(), this))
    , pulses_(new Stepper(this))
    , steps_(new Stepper(this))
    , note_(new Stepper(this))
    , fill_(new QPushButton(QStringLiteral("Fill Euclidean Rhythm"), this))
    , density_(new ValueSlider(QStringLiteral("Density"), {0.05, 1}, this))
    , minor_(checkBox(QStringLiteral("Minor scale"), this))
    , melody_(new QPushButton(QStringLiteral("Generate Melody"), this))
    , humanize_(new QPushButton(QStringLiteral("Humanize"), this))
    , accent_(new QPushButton(QStringLiteral("Accent"), this))
    , swing_(new ValueSlider(QStringLiteral("Swing"), {0, 1}, this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(itemSpacing);

    // Live MIDI recording: model settings, no undo steps.
    column->addWidget(sectionTitle(QStringLiteral("LIVE MIDI RECORDING"), this));
    column->addWidget(mode_);
    mode_->onChoose = [this](int index) {
        model_.setLiveRecordMode(index == 1 ? LiveRecordMode::realtime : LiveRecordMode::step);
    };
    column->addWidget(write_);
    write_->onChoose = [this](int index) {
        model_.setLiveRecordWriteMode(index == 1 ? LiveRecordWriteMode::replace : LiveRecordWriteMode::overdub);
    };
    column->addWidget(quantize_);
    quantize_->onChange = [this](double value) { model_.setRecordQuantizeStrength(value); };
    column->addWidget(noteOffs_);
    connect(noteOffs_, &QCheckBox::toggled, this, [this](bool on) { model_.setRecordMIDINoteOff(on); });
    hint_->setWordWrap(true);
    column->addWidget(hint_);
    column->addWidget(divider(this));

    column->addWidget(sectionTitle(QStringLiteral("PATTERN TOOLS"), this));
    name_->setAccessibleName(QStringLiteral("Pattern name"));
    name_->setPlaceholderText(QStringLiteral("Pattern name"));
    column->addLayout(labelledRow(QStringLiteral("Pattern name"), name_, this));
    // Every keystroke is one rename, as the user types it.
    connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) { model_.renamePattern(text.toStdString()); });
    column->addWidget(divider(this));

    column->addWidget(sectionTitle(QStringLiteral("MIDI SYNC"), this));
    column->addWidget(sendClock_);
    connect(sendClock_, &QCheckBox::toggled, this, [this](bool on) { model_.setMidiClockSend(on); });
    column->addWidget(receiveClock_);
    connect(receiveClock_, &QCheckBox::toggled, this, [this](bool on) { model_.setMidiClockReceive(on); });
    auto* status = new QHBoxLayout;
    status->addWidget(ports_);
    status->addStretch(1);
    status->addWidget(tempo_);
    column->addLayout(status);

    column->addWidget(length_);
    length_->onStep = [this](int rows) { model_.resizeCurrentPattern(rows, std::nullopt); };
    column->addWidget(tracks_);
    tracks_->onStep = [this](int channels) { model_.resizeCurrentPattern(std::nullopt, channels); };
    column->addWidget(rowsPerBeat_);
    rowsPerBeat_->onStep = [this](int rows) { model_.setRowsPerBeat(rows); };
    column->addWidget(double_, 0, Qt::AlignLeft);
    connect(double_, &QPushButton::clicked, this, [this] { model_.doublePattern(); });
    column->addWidget(divider(this));

    // The fill parameters are the window's own: changing them changes nothing in the project.
    column->addWidget(euclideanHeading_);
    column->addWidget(pulses_);
    pulses_->onStep = [this](int pulses) {
        fillPulses_ = pulses;
        refresh();
    };
    column->addWidget(steps_);
    steps_->onStep = [this](int steps) {
        fillSteps_ = steps;
        refresh();
    };
    column->addWidget(note_);
    note_->onStep = [this](int note) {
        fillNote_ = note;
        refresh();
    };
    column->addWidget(fill_, 0, Qt::AlignLeft);
    // The pulses may be set beyond the steps; they are held to them only here.
    connect(fill_, &QPushButton::clicked, this,
            [this] { model_.euclideanFill(std::min(fillPulses_, fillSteps_), fillSteps_, fillNote_); });
    column->addWidget(divider(this));

    column->addWidget(sectionTitle(QStringLiteral("MELODY FILL"), this));
    column->addWidget(density_);
    density_->onChange = [this](double density) {
        fillDensity_ = density;
        refresh();
    };
    column->addWidget(minor_);
    connect(minor_, &QCheckBox::toggled, this, [this](bool on) { minorScale_ = on; });
    column->addWidget(melody_, 0, Qt::AlignLeft);
    // The melody's root is the Euclidean fill's note.
    connect(melody_, &QPushButton::clicked, this, [this] { model_.randomMelody(fillDensity_, fillNote_, minorScale_); });
    column->addWidget(divider(this));

    column->addWidget(sectionTitle(QStringLiteral("GROOVE"), this));
    auto* groove = new QHBoxLayout;
    groove->addWidget(humanize_);
    groove->addWidget(accent_);
    groove->addStretch(1);
    column->addLayout(groove);
    connect(humanize_, &QPushButton::clicked, this, [this] { model_.humanize(); });
    connect(accent_, &QPushButton::clicked, this, [this] { model_.accent(); });
    column->addWidget(swing_);
    swing_->onChange = [this](double swing) { model_.setSwing(swing); };
    column->addStretch(1);

    watch(&AppModel::projectChanged);
    watch(&AppModel::patternIndexChanged);
    watch(&AppModel::selectedTrackChanged);
    watch(&AppModel::liveRecordModeChanged);
    watch(&AppModel::liveRecordWriteModeChanged);
    watch(&AppModel::recordQuantizeStrengthChanged);
    watch(&AppModel::recordMIDINoteOffChanged);
    watch(&AppModel::midiClockSendChanged);
    watch(&AppModel::midiClockReceiveChanged);
    watch(&AppModel::externalClockBPMChanged);
}

void ToolsPanel::showEvent(QShowEvent* event)
{
    // The port counts are asked for each time the tab comes up; they do not follow devices on their own.
    showPortCounts();
    InspectorPanel::showEvent(event);
}

void ToolsPanel::showPortCounts()
{
    const auto [inputs, outputs] = model_.midiEndpointCounts();
    ports_->setText(QStringLiteral("Inputs %1 \u00B7 Outputs %2").arg(inputs).arg(outputs));
}

void ToolsPanel::showModel()
{
    const bool realtime = model_.liveRecordMode() == LiveRecordMode::realtime;
    mode_->setCurrent(realtime ? 1 : 0);
    write_->setCurrent(model_.liveRecordWriteMode() == LiveRecordWriteMode::replace ? 1 : 0);
    quantize_->setValue(model_.recordQuantizeStrength());
    {
        const QSignalBlocker blocker(noteOffs_);
        noteOffs_->setChecked(model_.recordMIDINoteOff());
    }
    hint_->setText(realtime ? QStringLiteral("Arm record, start transport, then play. Timing and velocity are "
                                             "captured from the audio clock.")
                            : QStringLiteral("Arm record and play notes to enter one step at a time."));

    const Pattern* pattern = currentPattern(model_);
    const int rows = pattern ? pattern->rows : 1;
    const int channels = pattern ? pattern->channels : 1;
    const auto name = pattern ? QString::fromStdString(pattern->name) : QString();
    // The field is only rewritten when the model holds another name (an undo, another pattern, or the
    // default name of a cleared field), so the text being typed and its cursor stay put.
    if (name_->text() != name) {
        const QSignalBlocker blocker(name_);
        const int cursor = name_->cursorPosition();
        name_->setText(name);
        if (name_->hasFocus()) name_->setCursorPosition(std::min(cursor, static_cast<int>(name.size())));
    }
    name_->setEnabled(pattern != nullptr);

    {
        const QSignalBlocker send(sendClock_);
        const QSignalBlocker receive(receiveClock_);
        sendClock_->setChecked(model_.midiClockSend());
        receiveClock_->setChecked(model_.midiClockReceive());
    }
    const auto bpm = model_.externalClockBPM();
    tempo_->setVisible(bpm.has_value());
    if (bpm) tempo_->setText(QString::asprintf("%.2f BPM", *bpm));

    length_->showValue(counted("Length  ", rows), rows, 1, 256);
    tracks_->showValue(counted("Tracks  ", channels), channels, 1, 32);
    const int rowsPerBeat = model_.project().rowsPerBeat;
    rowsPerBeat_->showValue(counted("Rows per beat  ", rowsPerBeat), rowsPerBeat, 1, 16);
    double_->setEnabled(pattern && rows <= 255);

    euclideanHeading_->setText(QStringLiteral("EUCLIDEAN FILL \u00B7 TRACK ") + QString::number(model_.selectedTrack() + 1));
    pulses_->showValue(counted("Pulses  ", fillPulses_), fillPulses_, 1, 64);
    // A shorter pattern narrows the range but leaves the chosen steps as they are until they are stepped.
    steps_->showValue(counted("Steps  ", fillSteps_), fillSteps_, 1, std::min(rows, 256));
    note_->showValue(QStringLiteral("Note  ") + QString::fromStdString(noteName(fillNote_)), fillNote_, 0, 127);
    density_->setValue(fillDensity_);
    {
        const QSignalBlocker blocker(minor_);
        minor_->setChecked(minorScale_);
    }
    swing_->setValue(model_.project().swing.value_or(0));
}

} // namespace veltrane
