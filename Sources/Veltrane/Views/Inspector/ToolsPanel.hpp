#pragma once

// The Tools tab: live MIDI recording settings, the current pattern's name and size, MIDI clock sync, and
// the pattern generators (Euclidean rhythm, melody) and groove tools. The recording and sync settings are
// plain model settings; the pattern edits are undoable operations; the fill parameters live here for the
// life of the window and are read when their button is pressed.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace veltrane {

namespace inspector {
class SegmentedPicker;
class Stepper;
class ValueSlider;
} // namespace inspector

class ToolsPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit ToolsPanel(AppModel& model, QWidget* parent = nullptr);

    // The fill parameters, as the window starts them.
    int fillPulses() const noexcept { return fillPulses_; }
    int fillSteps() const noexcept { return fillSteps_; }
    int fillNote() const noexcept { return fillNote_; }
    double fillDensity() const noexcept { return fillDensity_; }
    bool minorScale() const noexcept { return minorScale_; }

    // The controls, for the tests and the screenshots.
    inspector::SegmentedPicker* modePicker() const noexcept { return mode_; }
    inspector::SegmentedPicker* writePicker() const noexcept { return write_; }
    inspector::ValueSlider* quantizeSlider() const noexcept { return quantize_; }
    QCheckBox* noteOffToggle() const noexcept { return noteOffs_; }
    QLabel* hint() const noexcept { return hint_; }
    QLineEdit* patternName() const noexcept { return name_; }
    QCheckBox* sendClockToggle() const noexcept { return sendClock_; }
    QCheckBox* receiveClockToggle() const noexcept { return receiveClock_; }
    QLabel* portCounts() const noexcept { return ports_; }
    QLabel* externalTempo() const noexcept { return tempo_; }
    inspector::Stepper* lengthStepper() const noexcept { return length_; }
    inspector::Stepper* tracksStepper() const noexcept { return tracks_; }
    inspector::Stepper* rowsPerBeatStepper() const noexcept { return rowsPerBeat_; }
    QPushButton* doubleButton() const noexcept { return double_; }
    QLabel* euclideanHeading() const noexcept { return euclideanHeading_; }
    inspector::Stepper* pulsesStepper() const noexcept { return pulses_; }
    inspector::Stepper* stepsStepper() const noexcept { return steps_; }
    inspector::Stepper* noteStepper() const noexcept { return note_; }
    QPushButton* fillButton() const noexcept { return fill_; }
    inspector::ValueSlider* densitySlider() const noexcept { return density_; }
    QCheckBox* minorToggle() const noexcept { return minor_; }
    QPushButton* melodyButton() const noexcept { return melody_; }
    QPushButton* humanizeButton() const noexcept { return humanize_; }
    QPushButton* accentButton() const noexcept { return accent_; }
    inspector::ValueSlider* swingSlider() const noexcept { return swing_; }

protected:
    void showModel() override;
    void showEvent(QShowEvent* event) override;

private:
    void showPortCounts();

    int fillPulses_ = 4;
    int fillSteps_ = 16;
    int fillNote_ = 48;
    double fillDensity_ = 0.35;
    bool minorScale_ = true;

    inspector::SegmentedPicker* mode_;
    inspector::SegmentedPicker* write_;
    inspector::ValueSlider* quantize_;
    QCheckBox* noteOffs_;
    QLabel* hint_;
    QLineEdit* name_;
    QCheckBox* sendClock_;
    QCheckBox* receiveClock_;
    QLabel* ports_;
    QLabel* tempo_;
    inspector::Stepper* length_;
    inspector::Stepper* tracks_;
    inspector::Stepper* rowsPerBeat_;
    QPushButton* double_;
    QLabel* euclideanHeading_;
    inspector::Stepper* pulses_;
    inspector::Stepper* steps_;
    inspector::Stepper* note_;
    QPushButton* fill_;
    inspector::ValueSlider* density_;
    QCheckBox* minor_;
    QPushButton* melody_;
    QPushButton* humanize_;
    QPushButton* accent_;
    inspector::ValueSlider* swing_;
};

} // namespace veltrane
