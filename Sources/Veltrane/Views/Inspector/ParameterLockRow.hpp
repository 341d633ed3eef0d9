#pragma once

// One parameter lock of the cursor cell: the target's label, its value (two fraction digits), a remove
// button, and a plain slider over the target's range.

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <functional>

class QToolButton;

namespace veltrane::inspector {

class ContinuousSlider;

class ParameterLockRow : public RoundedBox {
    Q_OBJECT

public:
    explicit ParameterLockRow(ParameterTarget target, QWidget* parent = nullptr);

    ParameterTarget target() const noexcept { return target_; }
    /// Shows the lock's value: the text unchanged, the knob held to the range. Reports nothing.
    void showValue(double value);

    QLabel* valueLabel() const noexcept { return value_; }
    ContinuousSlider* slider() const noexcept { return slider_; }
    QToolButton* removeButton() const noexcept { return remove_; }

    std::function<void(double)> onChange;
    std::function<void()> onRemove;

private:
    ParameterTarget target_;
    QLabel* value_;
    QToolButton* remove_;
    ContinuousSlider* slider_;
};

} // namespace veltrane::inspector
