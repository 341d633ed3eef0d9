#include "Veltrane/Views/Inspector/Stepper.hpp"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>

namespace veltrane::inspector {

Stepper::Stepper(QWidget* parent)
    : QWidget(parent)
    , label_(new QLabel(this))
    , minus_(new QToolButton(this))
    , plus_(new QToolButton(this))
{
    label_->setTextFormat(Qt::PlainText);
    minus_->setText(QStringLiteral("\u2212"));
    plus_->setText(QStringLiteral("+"));
    for (auto* button : {minus_, plus_}) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoRepeat(true);
        button->setFixedWidth(28);
        button->installEventFilter(this);
    }
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(label_);
    row->addStretch(1);
    row->addWidget(minus_);
    row->addWidget(plus_);
    connect(minus_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(plus_, &QToolButton::clicked, this, [this] { step(1); });
}

void Stepper::showValue(const QString& label, int value, int lower, int upper)
{
    label_->setText(label);
    value_ = value;
    lower_ = lower;
    upper_ = upper;
    minus_->setEnabled(value > lower);
    plus_->setEnabled(value < upper);
    minus_->setAccessibleName(QStringLiteral("Decrement ") + label);
    plus_->setAccessibleName(QStringLiteral("Increment ") + label);
}

void Stepper::step(int offset)
{
    const int next = std::clamp(value_ + offset, lower_, upper_);
    if (next == value_) return;
    value_ = next;
    if (onStep) onStep(next);
}

QString Stepper::label() const { return label_->text(); }

bool Stepper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Right: step(1); return true;
        case Qt::Key_Down:
        case Qt::Key_Left: step(-1); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veltrane::inspector
