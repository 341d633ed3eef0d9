#pragma once

// The inspector's labelled slider: the title and the value (two fraction digits, current locale,
// monospaced) on one line above a continuous slider over a closed range of doubles.
//
//     auto* gate = new ValueSlider("Gate · rows", {0.05, 16});
//     gate->onChange = [&](double rows) { model.updateCell(...); };   // once per reported value
//     gate->setValue(cellGate.value_or(1.0));                         // from the model; reports nothing
//
// It keeps no value of its own beyond what it shows: the owner reads the model, shows it with
// `setValue`, and writes what `onChange` reports back to the model. Showing a value never reports it.

#include <QPointer>
#include <QSlider>
#include <QWidget>

#include <functional>

class QLabel;

namespace veltrane::inspector {

struct SliderRange {
    double lower = 0;
    double upper = 1;
};

/// A horizontal slider that maps its integer positions linearly onto a closed range of doubles; the arrow
/// keys move it by one keyboard step, Page Up and Page Down by ten.
class ContinuousSlider : public QSlider {
    Q_OBJECT

public:
    /// Positions across the range: fine enough that a drag over a wide inspector lands between pixels.
    static constexpr int resolution = 10000;

    explicit ContinuousSlider(SliderRange range, QWidget* parent = nullptr);

    SliderRange range() const noexcept { return range_; }
    /// Changes the range (for ranges that follow another value) and places the knob at `value` in it,
    /// without reporting anything. The keyboard step stays the same.
    void setValueRange(SliderRange range, double value);
    /// The value the arrow keys add or take away; a hundredth of the range unless set.
    void setKeyboardStep(double step);
    /// Places the knob at `value` (held to the range) without reporting it.
    void showValue(double value);
    /// The value at the knob's position.
    double currentValue() const { return valueAt(value()); }

    std::function<void(double)> onChange;

private:
    double valueAt(int position) const;
    int positionOf(double value) const;

    SliderRange range_;
    double keyboardStep_ = 0;
};

class ValueSlider : public QWidget {
    Q_OBJECT

public:
    ValueSlider(QString title, SliderRange range, QWidget* parent = nullptr);

    /// Shows `value`: the text unchanged (also outside the range), the knob held to the range. Reports
    /// nothing.
    void setValue(double value);
    void setTitle(const QString& title);
    void setKeyboardStep(double step) { slider_->setKeyboardStep(step); }
    /// Shows `value` on a slider over `range` (see `setValue`).
    void setValue(double value, SliderRange range);

    double value() const noexcept { return value_; }
    QString title() const;
    QString valueText() const;
    ContinuousSlider* slider() const noexcept { return slider_; }

    /// Called with every value the user moves the slider to, at full precision.
    std::function<void(double)> onChange;

protected:
    void changeEvent(QEvent* event) override;

private:
    void showText();

    double value_ = 0;
    QLabel* title_;
    QLabel* valueText_;
    ContinuousSlider* slider_;
};

} // namespace veltrane::inspector
