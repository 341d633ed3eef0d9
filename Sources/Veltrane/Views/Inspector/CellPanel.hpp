#pragma once

// The Cell tab: the cell under the tracker cursor with its note, gate, instrument, volume, two effect
// slots and parameter locks. Every change writes the cursor cell as the model holds it at that moment,
// one undo step per reported value.

#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "VeltraneCore/Models/Cell.hpp"

#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace veltrane {

namespace inspector {
class EffectSlotBox;
class ParameterLockRow;
class ValueSlider;
} // namespace inspector

class CellPanel final : public InspectorPanel {
    Q_OBJECT

public:
    explicit CellPanel(AppModel& model, QWidget* parent = nullptr);

    // The controls, for the tests and the screenshots.
    QLabel* heading() const noexcept { return heading_; }
    QLabel* noteText() const noexcept { return noteText_; }
    QLabel* fieldLabel() const noexcept { return fieldLabel_; }
    inspector::ValueSlider* gateSlider() const noexcept { return gate_; }
    QPushButton* defaultGateButton() const noexcept { return defaultGate_; }
    QComboBox* instrumentPicker() const noexcept { return instrument_; }
    inspector::ValueSlider* volumeSlider() const noexcept { return volume_; }
    inspector::EffectSlotBox* effectSlot(int slot) const { return effects_.at(static_cast<std::size_t>(slot)); }
    QToolButton* addLockButton() const noexcept { return addLock_; }
    const std::vector<inspector::ParameterLockRow*>& lockRows() const noexcept { return lockRows_; }

protected:
    void showModel() override;

private:
    /// The cursor cell, or none while the cursor lies outside the current pattern.
    const Cell* cursorCell() const;
    /// Writes the cursor cell with `change` applied; nothing while the cursor lies outside the pattern.
    void writeCell(const std::function<void(Cell&)>& change);
    void chooseEffectType(int slot, std::optional<EffectType> type);
    void showLocks(const std::vector<ParameterLock>& locks);

    QLabel* heading_;
    QLabel* noteText_;
    QLabel* fieldLabel_;
    QWidget* noteButtons_;
    inspector::ValueSlider* gate_;
    QPushButton* defaultGate_;
    QComboBox* instrument_;
    inspector::ValueSlider* volume_;
    std::array<inspector::EffectSlotBox*, effectSlotCount> effects_{};
    QToolButton* addLock_ = nullptr;
    QVBoxLayout* lockList_;
    std::vector<inspector::ParameterLockRow*> lockRows_;
    QPushButton* clearField_;
};

} // namespace veltrane
