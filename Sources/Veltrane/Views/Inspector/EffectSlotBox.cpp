#include "Veltrane/Views/Inspector/EffectSlotBox.hpp"

#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace veltrane::inspector {

namespace {

QString effectTypeName(EffectType type)
{
    switch (type) {
    case EffectType::arpeggio: return QStringLiteral("Arpeggio");
    case EffectType::retrigger: return QStringLiteral("Retrigger");
    case EffectType::pan: return QStringLiteral("Pan");
    case EffectType::delay: return QStringLiteral("Delay");
    case EffectType::vibrato: return QStringLiteral("Vibrato");
    case EffectType::tremolo: return QStringLiteral("Tremolo");
    case EffectType::slide: return QStringLiteral("Slide");
    case EffectType::chord: return QStringLiteral("Chord");
    case EffectType::chance: return QStringLiteral("Chance");
    }
    return {};
}

QString valueTitle(int value) { return QStringLiteral("Value \u00B7 ") + hex2(value); }

} // namespace

QString effectTypeLabel(EffectType type)
{
    return qString(toRawValue(type)) +
           QStringLiteral("  ") + effectTypeName(type);
}

EffectSlotBox::EffectSlotBox(const QString& title, QWidget* parent)
    : RoundedBox(0.06, parent)
    , picker_(new QComboBox(this))
    , value_(new ValueSlider(valueTitle(0), {0, 255}, this))
{
    picker_->addItem(QStringLiteral("None"));
    for (const auto type : allEffectTypes) picker_->addItem(effectTypeLabel(type), static_cast<int>(type));
    picker_->setAccessibleName(title);
    passWheelUnlessFocused(picker_);
    value_->setKeyboardStep(1);

    auto* pickerRow = labelledRow(title, picker_, this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(5);
    column->addLayout(pickerRow);
    column->addWidget(value_);

    connect(picker_, &QComboBox::activated, this, [this](int index) {
        if (!onTypeChosen) return;
        if (index <= 0) onTypeChosen(std::nullopt);
        else onTypeChosen(allEffectTypes[static_cast<std::size_t>(index - 1)]);
    });
    value_->onChange = [this](double value) {
        if (onValueChange) onValueChange(value);
    };
}

void EffectSlotBox::showEffect(std::optional<Effect> effect)
{
    const QSignalBlocker blocker(picker_);
    picker_->setCurrentIndex(effect ? static_cast<int>(effect->type) + 1 : 0);
    value_->setVisible(effect.has_value());
    if (effect) {
        value_->setTitle(valueTitle(effect->value));
        value_->setValue(effect->value);
    }
}

} // namespace veltrane::inspector
