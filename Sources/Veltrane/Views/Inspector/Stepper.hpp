#pragma once

// A labelled stepper: the label text (which carries the number) beside a minus and a plus button that
// step by one within a closed range. The buttons take the keyboard focus; the arrow keys step as well.
//
//     auto* length = new Stepper(this);
//     length->showValue("Length  64", 64, 1, 256);   // from the model; reports nothing
//     length->onStep = [&](int rows) { ... };   // once per press

#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace veltrane::inspector {

class Stepper : public QWidget {
    Q_OBJECT

public:
    explicit Stepper(QWidget* parent = nullptr);

    /// Shows `label` and the value `value` within `lower`...`upper`. Reports nothing.
    void showValue(const QString& label, int value, int lower, int upper);
    /// Steps by `offset` within the range and reports the new value; nothing at the bound.
    void step(int offset);

    int value() const noexcept { return value_; }
    QString label() const;
    QToolButton* decrementButton() const noexcept { return minus_; }
    QToolButton* incrementButton() const noexcept { return plus_; }

    std::function<void(int)> onStep;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* label_;
    QToolButton* minus_;
    QToolButton* plus_;
    int value_ = 0;
    int lower_ = 0;
    int upper_ = 0;
};

} // namespace veltrane::inspector
