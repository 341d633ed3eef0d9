#include "Veltrane/Views/Transport/TransportBar.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Transport/LevelMeterView.hpp"
#include "Veltrane/Views/Transport/PlaybackPositionLabel.hpp"
#include "Veltrane/Views/Transport/PlaybackToggle.hpp"

#include <QAction>
#include <QButtonGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

QToolButton* makeToggle(const QString& symbol, const QString& title, const QString& help, QWidget* parent)
{
    auto* button = makeIconButton(symbol, title, help, parent);
    button->setCheckable(true);
    button->setIconSize(QSize(16, 16));
    return button;
}

QToolButton* makeScopeButton(const QString& title, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setAccessibleName(title);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedWidth(64);
    button->setFont(Theme::current().interface(12, QFont::Medium));
    return button;
}

} // namespace

TransportBar::TransportBar(AppModel& model, std::function<int()> midiSources, QWidget* parent)
    : QWidget(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("transportBar"));
    setFixedHeight(83);
    fillBackground(this, theme.barBackground);
    setStyleSheet(barButtonStyle() + QStringLiteral(
        "#playButton { border-radius: 18px; padding: 0; }"
        "#playButton[active=\"false\"] { background: rgb(10, 132, 255); }"
        "#playButton[active=\"true\"] { background: rgb(255, 69, 58); }"
        "#recordButton { padding: 0; }"
        "#tempoField { background: rgb(20, 20, 22); border: 1px solid rgba(255, 255, 255, 40); border-radius: 5px;"
        "  padding: 1px 4px; color: rgb(235, 235, 240); }"
        "#tempoField:focus { border-color: rgb(10, 132, 255); }"));

    // Scope group: what plays, and where it stands.
    patternScope_ = makeScopeButton(QStringLiteral("Pattern"), this);
    songScope_ = makeScopeButton(QStringLiteral("Song"), this);
    auto* scopeGroup = new QButtonGroup(this);
    scopeGroup->setExclusive(true);
    scopeGroup->addButton(patternScope_);
    scopeGroup->addButton(songScope_);
    auto* scopePicker = makeControlGroup({patternScope_, songScope_}, this);
    scopePicker->setAccessibleName(QStringLiteral("Playback"));
    scopePicker->setFixedWidth(132);
    connect(patternScope_, &QToolButton::toggled, this, [this](bool on) { if (on) model_.setSongMode(false); });
    connect(songScope_, &QToolButton::toggled, this, [this](bool on) { if (on) model_.setSongMode(true); });

    positionCaption_ = makeCaption({}, 9, QFont::Bold, theme.secondaryLabel, this);
    position_ = new PlaybackPositionLabel(this);
    position_->setState(&model.playbackUI());
    auto* positionBlock = new QWidget(this);
    positionBlock->setFixedWidth(106);
    auto* positionLayout = new QVBoxLayout(positionBlock);
    positionLayout->setContentsMargins(0, 0, 0, 0);
    positionLayout->setSpacing(1);
    positionLayout->addWidget(positionCaption_);
    positionLayout->addWidget(position_);

    auto* scope = new QHBoxLayout;
    scope->setSpacing(7);
    scope->addWidget(scopePicker);
    scope->addWidget(makeDivider(28, this));
    scope->addWidget(positionBlock);
    scope->addStretch(1);

    // Button group: record arm and play.
    record_ = makeIconButton(QStringLiteral("record.circle"), QStringLiteral("Record"), {}, this);
    record_->setObjectName(QStringLiteral("recordButton"));
    record_->setFixedSize(32, 32);
    record_->setIconSize(QSize(20, 20));
    record_->setEnabled(canToggleLiveRecording<AppModel>);
    connect(record_, &QToolButton::clicked, this, [this] { toggleLiveRecording(model_); });

    play_ = makeIconButton(QStringLiteral("play.fill"), QStringLiteral("Play"), {}, this);
    play_->setObjectName(QStringLiteral("playButton"));
    play_->setFixedSize(36, 36);
    play_->setIconSize(QSize(16, 16));
    // Space plays and stops wherever the focus is, once per press; a text field keeps its own Space.
    playAction_ = new QAction(QStringLiteral("Play"), this);
    playAction_->setShortcut(QKeySequence(Qt::Key_Space));
    playAction_->setShortcutContext(Qt::WindowShortcut);
    playAction_->setAutoRepeat(false);
    addAction(playAction_);
    connect(playAction_, &QAction::triggered, this, [this] { togglePlayback(model_); });
    connect(play_, &QToolButton::clicked, playAction_, &QAction::trigger);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(record_);
    buttons->addWidget(play_);

    // Tempo group.
    tempo_ = new QLineEdit(this);
    tempo_->setObjectName(QStringLiteral("tempoField"));
    tempo_->setAccessibleName(QStringLiteral("BPM"));
    tempo_->setFixedWidth(48);
    tempo_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tempo_->setFont(theme.monospaced(12));
    connect(tempo_, &QLineEdit::editingFinished, this, &TransportBar::commitTempo);

    octave_ = new QSpinBox(this);
    octave_->setObjectName(QStringLiteral("octaveStepper"));
    octave_->setAccessibleName(QStringLiteral("Octave"));
    octave_->setPrefix(QStringLiteral("OCT "));
    octave_->setRange(0, 8);
    octave_->setFixedWidth(94);
    octave_->setFont(theme.monospaced(11));
    connect(octave_, &QSpinBox::valueChanged, this, [this](int value) { model_.setOctave(value); });

    auto* tempoGroup = new QHBoxLayout;
    tempoGroup->setSpacing(7);
    tempoGroup->addStretch(1);
    tempoGroup->addWidget(makeDivider(28, this));
    tempoGroup->addWidget(makeCaption(QStringLiteral("BPM"), 9, QFont::Bold, theme.secondaryLabel, this));
    tempoGroup->addWidget(tempo_);
    tempoGroup->addWidget(octave_);

    auto* mainRow = new QHBoxLayout;
    mainRow->setContentsMargins(12, 0, 12, 0);
    mainRow->setSpacing(12);
    mainRow->addLayout(scope, 1);
    mainRow->addLayout(buttons, 0);
    mainRow->addLayout(tempoGroup, 1);
    auto* mainRowWidget = new QWidget(this);
    mainRowWidget->setFixedHeight(50);
    mainRowWidget->setLayout(mainRow);

    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 18);"));

    // Status row.
    masterMeter_ = makeMasterLevelMeter(model.meters(), this);
    masterMeter_->setFixedSize(72, 8);
    masterMeter_->setToolTip(QStringLiteral("Master peak"));
    metronome_ = makeToggle(QStringLiteral("metronome"), QStringLiteral("Metronome"), QStringLiteral("Metronome"), this);
    countIn_ = makeToggle(QStringLiteral("timer"), QStringLiteral("Count In"), QStringLiteral("One-bar count-in"), this);
    midi_ = makeToggle(QStringLiteral("pianokeys"), QStringLiteral("MIDI"),
                       QStringLiteral("MIDI input \u00B7 %1 source(s)").arg(midiSources ? midiSources() : 0), this);
    loop_ = makeToggle(QStringLiteral("repeat"), QStringLiteral("Loop"), QStringLiteral("Loop playback"), this);
    connect(metronome_, &QToolButton::toggled, this, [this](bool on) { model_.setMetronome(on); });
    connect(countIn_, &QToolButton::toggled, this, [this](bool on) { model_.setCountIn(on); });
    connect(midi_, &QToolButton::toggled, this, [this](bool on) { model_.setMidiEnabled(on); });
    connect(loop_, &QToolButton::toggled, this, [this](bool on) { model_.setLoopEnabled(on); });

    auto* status = new QHBoxLayout;
    status->setContentsMargins(12, 0, 12, 0);
    status->setSpacing(8);
    status->addWidget(makeCaption(QStringLiteral("MASTER"), 9, QFont::Bold, theme.secondaryLabel, this));
    status->addWidget(masterMeter_);
    status->addStretch(1);
    status->addWidget(metronome_);
    status->addWidget(countIn_);
    status->addWidget(midi_);
    status->addWidget(loop_);
    auto* statusWidget = new QWidget(this);
    statusWidget->setFixedHeight(32);
    statusWidget->setLayout(status);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(mainRowWidget);
    layout->addWidget(divider);
    layout->addWidget(statusWidget);

    for (auto signal : {&AppModel::isPlayingChanged, &AppModel::isPreparingPlaybackChanged, &AppModel::isLiveRecordingChanged})
        connect(&model, signal, this, &TransportBar::refreshTransport);
    for (auto signal : {&AppModel::songModeChanged, &AppModel::metronomeChanged, &AppModel::countInChanged,
                        &AppModel::midiEnabledChanged, &AppModel::loopEnabledChanged, &AppModel::octaveChanged})
        connect(&model, signal, this, &TransportBar::refreshSettings);
    connect(&model, &AppModel::projectChanged, this, &TransportBar::refreshTempo);
    for (auto signal : {&AppModel::patternIndexChanged, &AppModel::selectedRowChanged})
        connect(&model, signal, this, &TransportBar::refreshPosition);

    refreshTransport();
    refreshSettings();
    refreshTempo();
    refreshPosition();
    position_->startAnimating();
}

QString TransportBar::positionCaption() const
{
    return model_.songMode() ? QStringLiteral("SONG POSITION") : QStringLiteral("PATTERN POSITION");
}

void TransportBar::commitTempo()
{
    // Leaving the field without typing commits nothing: only a typed value is an edit.
    if (!tempo_->isModified()) return;
    tempo_->setModified(false);
    bool ok = false;
    const double typed = QLocale().toDouble(tempo_->text(), &ok);
    if (!ok || std::isnan(typed)) {
        refreshTempo(); // not a number: the field shows the tempo again
        return;
    }
    const double bpm = std::clamp(typed, minimumTempo, maximumTempo);
    model_.mutate([bpm](Project& project) { project.bpm = bpm; });
    // The model's tempo may equal the old one (no change signal), yet the field must show the clamped value.
    const QSignalBlocker blocker(tempo_);
    tempo_->setText(QLocale().toString(model_.project().bpm, 'f', 0));
}

void TransportBar::refreshTransport()
{
    const bool active = model_.isPlaying() || model_.isPreparingPlayback();
    setSymbol(play_, active ? QStringLiteral("stop.fill") : QStringLiteral("play.fill"),
              active ? QColor(Qt::white) : QColor(Qt::black));
    play_->setToolTip(active ? QStringLiteral("Stop (Space)") : QStringLiteral("Play (Space)"));
    play_->setAccessibleName(active ? QStringLiteral("Stop") : QStringLiteral("Play"));
    play_->setProperty("active", active);
    play_->style()->unpolish(play_);
    play_->style()->polish(play_);

    const bool recording = model_.isLiveRecording();
    const Theme& theme = Theme::current();
    setSymbol(record_, recording ? QStringLiteral("record.circle.fill") : QStringLiteral("record.circle"),
              recording ? theme.red : theme.secondaryLabel);
    record_->setToolTip(recording ? QStringLiteral("Disarm MIDI recording") : QStringLiteral("Arm MIDI recording"));
}

void TransportBar::refreshSettings()
{
    for (auto* button : {patternScope_, songScope_, metronome_, countIn_, midi_, loop_}) button->blockSignals(true);
    patternScope_->setChecked(!model_.songMode());
    songScope_->setChecked(model_.songMode());
    metronome_->setChecked(model_.metronome());
    countIn_->setChecked(model_.countIn());
    countIn_->setVisible(model_.metronome());
    midi_->setChecked(model_.midiEnabled());
    loop_->setChecked(model_.loopEnabled());
    for (auto* button : {patternScope_, songScope_, metronome_, countIn_, midi_, loop_}) button->blockSignals(false);
    if (octave_->value() != model_.octave()) {
        const QSignalBlocker blocker(octave_);
        octave_->setValue(model_.octave());
    }
    positionCaption_->setText(positionCaption());
}

void TransportBar::refreshTempo()
{
    // A tempo being typed is the user's: an edit elsewhere never replaces it under the cursor.
    if (tempo_->hasFocus() && tempo_->isModified()) return;
    const QString text = QLocale().toString(model_.project().bpm, 'f', 0);
    if (tempo_->text() == text) return;
    const QSignalBlocker blocker(tempo_);
    tempo_->setText(text);
}

void TransportBar::refreshPosition()
{
    position_->setPattern(model_.patternIndex());
    position_->setSelectedRow(model_.selectedRow());
    position_->refresh();
}

} // namespace veltrane
