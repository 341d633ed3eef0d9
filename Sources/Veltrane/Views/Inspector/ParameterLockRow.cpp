#include "Veltrane/Views/Inspector/ParameterLockRow.hpp"

#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Inspector/ValueSlider.hpp"

#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane::inspector {

ParameterLockRow::ParameterLockRow(ParameterTarget target, QWidget* parent)
    : RoundedBox(0.05, parent)
    , target_(target)
    , value_(captionLabel(QString(), this))
    , remove_(new QToolButton(this))
    , slider_(new ContinuousSlider({range(target).lowerBound, range(target).upperBound}, this))
{
    const auto name = qString(label(target));
    auto* title = new QLabel(name, this);
    QFont titleFont = captionFont(*title);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    value_->setFont(monospacedFont(captionFont(*value_)));

    setSymbol(remove_, QStringLiteral("xmark.circle.fill"), secondaryTextColor(*remove_));
    remove_->setAutoRaise(true);
    remove_->setToolTip(QStringLiteral("Remove ") + name + QStringLiteral(" lock"));
    remove_->setAccessibleName(QStringLiteral("Remove ") + name + QStringLiteral(" lock"));
    remove_->setFocusPolicy(Qt::StrongFocus);
    slider_->setAccessibleName(name);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(title);
    top->addStretch(1);
    top->addWidget(value_);
    top->addWidget(remove_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(4);
    column->addLayout(top);
    column->addWidget(slider_);

    slider_->onChange = [this](double value) {
        if (onChange) onChange(value);
    };
    connect(remove_, &QToolButton::clicked, this, [this] {
        if (onRemove) onRemove();
    });
}

void ParameterLockRow::showValue(double value)
{
    value_->setText(formatValue(value));
    slider_->setAccessibleDescription(value_->text());
    slider_->showValue(value);
}

} // namespace veltrane::inspector
