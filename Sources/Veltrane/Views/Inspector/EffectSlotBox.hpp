#pragma once

// One effect column of the cursor cell: a picker of "None" and the nine effect types, and, while the slot
// holds an effect, its value (0 to 255, titled with the value in hexadecimal).

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include "VeltraneCore/Models/Effect.hpp"

#include <functional>
#include <optional>

class QComboBox;

namespace veltrane::inspector {

class ValueSlider;

class EffectSlotBox : public RoundedBox {
    Q_OBJECT

public:
    EffectSlotBox(const QString& title, QWidget* parent = nullptr);

    /// Shows the slot's effect, or "None". Reports nothing.
    void showEffect(std::optional<Effect> effect);

    QComboBox* picker() const noexcept { return picker_; }
    ValueSlider* valueSlider() const noexcept { return value_; }

    /// The user chose a type (none for "None").
    std::function<void(std::optional<EffectType>)> onTypeChosen;
    /// The user moved the value slider, at full precision.
    std::function<void(double)> onValueChange;

private:
    QComboBox* picker_;
    ValueSlider* value_;
};

/// "A  Arpeggio": the type's letter, two blanks and its capitalised name.
QString effectTypeLabel(EffectType type);

} // namespace veltrane::inspector
