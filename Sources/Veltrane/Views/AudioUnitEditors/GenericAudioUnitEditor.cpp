#include "Veltrane/Views/AudioUnitEditors/GenericAudioUnitEditor.hpp"

#include "VeltranePlatform/Plugins/PluginInstance.hpp"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

constexpr int labelWidth = 180;
constexpr int sliderWidth = 260;
constexpr int rowHeight = 34;

int sliderPosition(const PluginParameter& parameter, float value)
{
    const float span = parameter.maximum - parameter.minimum;
    if (!(span > 0)) return 0;
    const double fraction = std::clamp(static_cast<double>((value - parameter.minimum) / span), 0.0, 1.0);
    return static_cast<int>(std::lround(fraction * GenericAudioUnitEditor::sliderSteps));
}

float parameterValue(const PluginParameter& parameter, int position)
{
    const double fraction = static_cast<double>(position) / GenericAudioUnitEditor::sliderSteps;
    return static_cast<float>(parameter.minimum + fraction * (parameter.maximum - parameter.minimum));
}

} // namespace

GenericAudioUnitEditor::GenericAudioUnitEditor(PluginInstance& unit, const QString& title, QWidget* parent)
    : QScrollArea(parent), unit_(unit)
{
    const auto& parameters = unit_.parameters();
    const int count = static_cast<int>(parameters.size());

    auto* container = new QWidget;
    auto* column = new QVBoxLayout(container);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(9);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* heading = new QLabel(title);
    QFont headingFont = heading->font();
    headingFont.setPointSize(17);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    column->addWidget(heading);

    if (parameters.empty()) column->addWidget(new QLabel(tr("This Audio Unit exposes no editable parameters.")));
    for (std::size_t index = 0; index < parameters.size(); ++index) {
        const auto& parameter = parameters[index];
        const QString name = QString::fromStdString(parameter.name.empty() ? parameter.symbol : parameter.name);
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        auto* label = new QLabel;
        label->setFixedWidth(labelWidth);
        label->setText(label->fontMetrics().elidedText(name, Qt::ElideRight, labelWidth));
        label->setToolTip(name);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setFixedWidth(sliderWidth);
        slider->setRange(0, sliderSteps);
        slider->setValue(sliderPosition(parameter, unit_.parameterValue(index)));
        slider->setAccessibleName(name);
        connect(slider, &QSlider::valueChanged, this, [this, index](int position) {
            unit_.setParameterValue(index, parameterValue(unit_.parameters()[index], position));
        });
        row->addWidget(label);
        row->addWidget(slider);
        column->addLayout(row);
        sliders_.push_back(slider);
    }
    container->setMinimumSize(500, rowHeight * count + 60);

    setWidget(container);
    setWidgetResizable(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    seenChangeCount_ = unit_.parameterChangeCount();
    follow_ = new QTimer(this);
    follow_->setInterval(100);
    connect(follow_, &QTimer::timeout, this, &GenericAudioUnitEditor::followUnit);
}

QSize GenericAudioUnitEditor::preferredContentSize() const
{
    const int count = static_cast<int>(unit_.parameters().size());
    return QSize(520, std::clamp(rowHeight * count + 70, 180, 620));
}

void GenericAudioUnitEditor::showEvent(QShowEvent* event)
{
    QScrollArea::showEvent(event);
    followUnit();
    follow_->start();
}

void GenericAudioUnitEditor::hideEvent(QHideEvent* event)
{
    follow_->stop();
    QScrollArea::hideEvent(event);
}

void GenericAudioUnitEditor::followUnit()
{
    const auto count = unit_.parameterChangeCount();
    if (count == seenChangeCount_) return;
    seenChangeCount_ = count;
    const auto& parameters = unit_.parameters();
    for (std::size_t index = 0; index < sliders_.size(); ++index) {
        const int position = sliderPosition(parameters[index], unit_.parameterValue(index));
        if (sliders_[index]->isSliderDown() || sliders_[index]->value() == position) continue;
        const QSignalBlocker quiet(sliders_[index]); // a value the unit already has is not set again
        sliders_[index]->setValue(position);
    }
}

} // namespace veltrane
