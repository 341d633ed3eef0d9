#include "Veltrane/Views/Inspector/SegmentedPicker.hpp"

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace veltrane::inspector {

SegmentedPicker::SegmentedPicker(const QString& title, const QStringList& segments, QWidget* parent)
    : QWidget(parent)
    , group_(new QButtonGroup(this))
{
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(title, this);
    row->addWidget(label);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(0);
    for (int i = 0; i < segments.size(); ++i) {
        auto* button = new QPushButton(segments[i], this);
        button->setCheckable(true);
        button->setAccessibleName(segments[i]);
        button->setAccessibleDescription(title);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        shrinkToText(button);
        group_->addButton(button, i);
        buttons->addWidget(button);
    }
    label->setBuddy(group_->button(0));
    row->addLayout(buttons, 1);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int index) {
        if (onChoose) onChoose(index);
    });
}

void SegmentedPicker::setCurrent(int index)
{
    if (auto* button = group_->button(index)) button->setChecked(true);
}

int SegmentedPicker::current() const { return group_->checkedId(); }

QAbstractButton* SegmentedPicker::segment(int index) const { return group_->button(index); }

} // namespace veltrane::inspector
