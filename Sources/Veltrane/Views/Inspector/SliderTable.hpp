#pragma once

// Labelled sliders made from a table of rows: which control each one is, its title, its range and its
// keyboard step. The panels whose sliders differ only in those rows (instrument, mixer, master) build,
// find and show them here.
//
//     constexpr SliderSpec<MasterControl> rows[] = {{MasterControl::drive, "Drive", {0, 1}, 0.01}};
//     sliders_.add(rows, this, column, [this](MasterControl control, double value) { ... });
//     sliders_.show([&](MasterControl control) { return controlValue(project, control); });

#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QBoxLayout>
#include <QString>

#include <functional>
#include <span>
#include <utility>
#include <vector>

namespace veltrane::inspector {

template <typename Control>
struct SliderSpec {
    Control control;
    const char* title;
    SliderRange range;
    double keyboardStep;
};

template <typename Control>
class SliderTable {
public:
    /// Makes one slider per row under `parent`, appends each to `layout`, and has each report its values
    /// to `write` with its control.
    void add(std::span<const SliderSpec<Control>> rows, QWidget* parent, QBoxLayout* layout,
             std::function<void(Control, double)> write)
    {
        for (const auto& row : rows) {
            auto* slider = new ValueSlider(QString::fromUtf8(row.title), row.range, parent);
            slider->setKeyboardStep(row.keyboardStep);
            slider->onChange = [write, control = row.control](double value) { write(control, value); };
            sliders_.emplace_back(row.control, slider);
            layout->addWidget(slider);
        }
    }

    /// The slider of `control`; none when the table has no such row.
    ValueSlider* find(Control control) const
    {
        for (const auto& [shown, slider] : sliders_)
            if (shown == control) return slider;
        return nullptr;
    }

    /// Shows `valueOf(control)` on every slider. Reports nothing.
    template <typename ValueOf>
    void show(ValueOf valueOf) const
    {
        for (const auto& [control, slider] : sliders_) slider->setValue(valueOf(control));
    }

private:
    std::vector<std::pair<Control, ValueSlider*>> sliders_;
};

} // namespace veltrane::inspector
