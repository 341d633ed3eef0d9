#pragma once

// The Instrument tab: the list that chooses the instrument for note entry with the buttons and menus
// that add instruments, and below it the editor of the selected instrument: the plug-in header of a
// hosted instrument, its name and sound controls, and its FM operators when it has them.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "Veltrane/Model/InspectorControls.hpp"
#include "Veltrane/Views/Inspector/SliderTable.hpp"

#include <optional>
#include <tuple>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace veltrane {

namespace inspector {
class SampleEditorGroup;
class ValueSlider;
} // namespace inspector

class InstrumentPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit InstrumentPanel(AppModel& model, QWidget* parent = nullptr);

    /// One FM operator's controls.
    struct OperatorControls {
        QWidget* box = nullptr;
        QComboBox* wave = nullptr;
        inspector::ValueSlider* ratio = nullptr;
        inspector::ValueSlider* fine = nullptr;
    };

    QComboBox* instrumentList() const noexcept { return list_; }
    QToolButton* presetMenuButton() const noexcept { return presets_; }
    QToolButton* synthMenuButton() const noexcept { return synths_; }
    QPushButton* fmButton() const noexcept { return addFM_; }
    QPushButton* sampleButton() const noexcept { return addSample_; }
    QToolButton* audioUnitMenuButton() const noexcept { return audioUnits_; }
    QWidget* editor() const noexcept { return editor_; }
    QPushButton* pluginEditorButton() const noexcept { return openEditor_; }
    QWidget* unavailableRow() const noexcept { return unavailable_; }
    QPushButton* replaceButton() const noexcept { return replace_; }
    QLineEdit* nameField() const noexcept { return name_; }
    inspector::ValueSlider* slider(InstrumentControl control) const { return sliders_.find(control); }
    QWidget* fmGroup() const noexcept { return fm_; }
    inspector::ValueSlider* fmAmount() const noexcept { return amount_; }
    const OperatorControls& carrier() const noexcept { return carrier_; }
    const OperatorControls& modulator() const noexcept { return modulator_; }
    /// The sample settings, shown for an instrument that has them.
    inspector::SampleEditorGroup* sampleGroup() const noexcept { return sample_; }

protected:
    void showModel() override;

private:
    OperatorControls makeOperator(const QString& title, FMOperator FMSettings::*which, QWidget* parent);
    void showList();

    QComboBox* list_;
    QToolButton* presets_;
    QToolButton* synths_;
    QPushButton* addFM_;
    QPushButton* addSample_;
    QToolButton* audioUnits_;
    QWidget* editor_;
    QPushButton* openEditor_;
    QWidget* unavailable_;
    QPushButton* replace_;
    QLineEdit* name_;
    inspector::SliderTable<InstrumentControl> sliders_;
    QWidget* fm_;
    inspector::ValueSlider* amount_;
    OperatorControls carrier_;
    OperatorControls modulator_;
    inspector::SampleEditorGroup* sample_;
    /// The sound the waveform was read from (the instrument, its audio and the edit of that audio, without
    /// loop and slices): a new overview is read only when it changes.
    std::optional<std::tuple<Uuid, InstrumentSource, SampleEdit>> overviewOf_;
    int shownInstrument_ = 0;
};

/// "0A  Kick", or "03  ⚠︎ Kick" for an instrument whose sample file is missing.
QString instrumentListTitle(int index, const std::string& name, bool sampleMissing);

} // namespace veltrane
