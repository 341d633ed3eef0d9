#pragma once

// The strip across the top of the tracker: pattern or song playback, the position readout, the record
// arm, play and stop (Space), the tempo and the note-entry octave; below, the master level and the
// metronome, count-in, MIDI input and loop switches.
//
// Controls show the model's values without writing them back: every programmatic update runs under a
// signal blocker, and the tempo field is never reset while the user types in it.

#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace veltrane {

class AppModel;
class LevelMeterView;
class PlaybackPositionLabel;

class TransportBar final : public QWidget {
    Q_OBJECT
public:
    /// `midiSources` counts the MIDI sources when the bar is built.
    TransportBar(AppModel& model, std::function<int()> midiSources, QWidget* parent = nullptr);

    static constexpr double minimumTempo = 20;
    static constexpr double maximumTempo = 400;

    QToolButton* playButton() const noexcept { return play_; }
    QToolButton* recordButton() const noexcept { return record_; }
    QToolButton* patternScope() const noexcept { return patternScope_; }
    QToolButton* songScope() const noexcept { return songScope_; }
    QLineEdit* tempoField() const noexcept { return tempo_; }
    QSpinBox* octaveStepper() const noexcept { return octave_; }
    QToolButton* metronomeToggle() const noexcept { return metronome_; }
    QToolButton* countInToggle() const noexcept { return countIn_; }
    QToolButton* midiToggle() const noexcept { return midi_; }
    QToolButton* loopToggle() const noexcept { return loop_; }
    PlaybackPositionLabel* position() const noexcept { return position_; }
    LevelMeterView* masterMeter() const noexcept { return masterMeter_; }
    QAction* playAction() const noexcept { return playAction_; }
    QString positionCaption() const;

private:
    void commitTempo();
    void refreshTransport();
    void refreshSettings();
    void refreshTempo();
    void refreshPosition();

    AppModel& model_;
    QToolButton* patternScope_;
    QToolButton* songScope_;
    QLabel* positionCaption_;
    PlaybackPositionLabel* position_;
    QToolButton* record_;
    QToolButton* play_;
    QAction* playAction_;
    QLineEdit* tempo_;
    QSpinBox* octave_;
    LevelMeterView* masterMeter_;
    QToolButton* metronome_;
    QToolButton* countIn_;
    QToolButton* midi_;
    QToolButton* loop_;
};

} // namespace veltrane
