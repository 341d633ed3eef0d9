#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace veltrane::inspector {

ContinuousSlider::ContinuousSlider(SliderRange range, QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
    , range_(range)
{
    setRange(0, resolution);
    setKeyboardStep((range.upper - range.lower) / 100);
    passWheelUnlessFocused(this);
    connect(this, &QSlider::valueChanged, this, [this](int position) {
        if (onChange) onChange(valueAt(position));
    });
}

void ContinuousSlider::setKeyboardStep(double step)
{
    keyboardStep_ = step;
    const double width = range_.upper - range_.lower;
    const int positions = width > 0 ? static_cast<int>(std::lround(step / width * resolution)) : 1;
    setSingleStep(std::max(1, positions));
    setPageStep(std::max(1, positions * 10));
}

void ContinuousSlider::setValueRange(SliderRange range, double value)
{
    if (range.lower != range_.lower || range.upper != range_.upper) {
        range_ = range;
        setKeyboardStep(keyboardStep_);
    }
    showValue(value);
}

void ContinuousSlider::showValue(double value)
{
    const QSignalBlocker blocker(this);
    setValue(positionOf(value));
}

double ContinuousSlider::valueAt(int position) const
{
    if (position >= resolution) return range_.upper; // the end is reached exactly, not within rounding
    return range_.lower + (range_.upper - range_.lower) * position / resolution;
}

int ContinuousSlider::positionOf(double value) const
{
    const double width = range_.upper - range_.lower;
    if (!(width > 0) || std::isnan(value)) return 0;
    const double fraction = std::clamp((value - range_.lower) / width, 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * resolution));
}

ValueSlider::ValueSlider(QString title, SliderRange range, QWidget* parent)
    : QWidget(parent)
    , title_(new QLabel(title, this))
    , valueText_(new QLabel(this))
    , slider_(new ContinuousSlider(range, this))
{
    title_->setTextFormat(Qt::PlainText);
    valueText_->setFont(monospacedFont(font()));
    QPalette palette = valueText_->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(*valueText_));
    valueText_->setPalette(palette);
    valueText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* titleRow = new QHBoxLayout;
    titleRow->setContentsMargins(0, 0, 0, 0);
    titleRow->addWidget(title_);
    titleRow->addStretch(1);
    titleRow->addWidget(valueText_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(3);
    column->addLayout(titleRow);
    column->addWidget(slider_);

    slider_->setAccessibleName(title);
    slider_->onChange = [this](double value) {
        if (onChange) onChange(value);
    };
    showText();
}

void ValueSlider::setValue(double value)
{
    value_ = value;
    slider_->showValue(value);
    showText();
}

void ValueSlider::setValue(double value, SliderRange range)
{
    value_ = value;
    slider_->setValueRange(range, value);
    showText();
}

void ValueSlider::setTitle(const QString& title)
{
    if (title_->text() == title) return;
    title_->setText(title);
    slider_->setAccessibleName(title);
}

QString ValueSlider::title() const { return title_->text(); }

QString ValueSlider::valueText() const { return valueText_->text(); }

void ValueSlider::showText()
{
    valueText_->setText(formatValue(value_));
    slider_->setAccessibleDescription(valueText_->text());
}

void ValueSlider::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange) showText();
    QWidget::changeEvent(event);
}

} // namespace veltrane::inspector
