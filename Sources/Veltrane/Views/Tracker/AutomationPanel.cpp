#include "Veltrane/Views/Tracker/AutomationPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/AutomationLaneView.hpp"
#include "Veltrane/Views/Tracker/TrackerCommands.hpp"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace veltrane {

AutomationPanel::AutomationPanel(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("automationPanel"));
    setFixedHeight(112);
    fillBackground(this, withOpacity(theme.panelBackground, 0.92));

    auto* icon = new QLabel(this);
    const QString symbol = QStringLiteral("point.topleft.down.to.point.bottomright.curvepath");
    icon->setPixmap(symbolIcon(symbol, theme.secondaryLabel).pixmap(QSize(12, 12), devicePixelRatioF()));
    icon->setProperty(symbolProperty, symbol);
    heading_ = makeCaption({}, 10, QFont::Bold, theme.secondaryLabel, this);
    picker_ = new QComboBox(this);
    picker_->setAccessibleName(QStringLiteral("Parameter"));
    picker_->setMaximumWidth(220);
    for (const auto target : allParameterTargets) {
        const auto name = label(target);
        picker_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), indexOf(target));
    }
    picker_->setCurrentIndex(indexOf(target_));
    connect(picker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < parameterTargetCount) {
            target_ = allParameterTargets[static_cast<std::size_t>(index)];
            refresh();
        }
    });

    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 0, 10, 0);
    header->addWidget(icon);
    header->addWidget(heading_);
    header->addWidget(picker_);
    header->addStretch(1);
    header->addWidget(makeCaption(QStringLiteral("DRAW DIRECTLY IN THE LANE"), 9, QFont::Normal, theme.tertiaryLabel, this));
    auto* headerRow = new QWidget(this);
    headerRow->setFixedHeight(30);
    headerRow->setLayout(header);

    lane_ = new AutomationLaneView(this);
    lane_->onSet = [this](int row, double value) {
        tracker::setParameterLock(model_, target_, value, row, model_.selectedTrack());
    };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(headerRow);
    layout->addWidget(lane_, 1);

    for (auto signal : {&AppModel::projectChanged, &AppModel::patternIndexChanged, &AppModel::selectedRowChanged,
                        &AppModel::selectedTrackChanged}) {
        connect(&model, signal, this, &AutomationPanel::refresh);
    }
    refresh();
}

void AutomationPanel::setTarget(ParameterTarget target)
{
    target_ = target;
    const QSignalBlocker blocker(picker_);
    picker_->setCurrentIndex(indexOf(target));
    refresh();
}

QString AutomationPanel::headingText() const
{
    return QStringLiteral("AUTOMATION \u00B7 TRACK %1").arg(model_.selectedTrack() + 1);
}

void AutomationPanel::refresh()
{
    heading_->setText(headingText());
    const auto& patterns = model_.project().patterns;
    const int index = model_.patternIndex();
    if (index < 0 || index >= static_cast<int>(patterns.size())) return;
    lane_->show(patterns[static_cast<std::size_t>(index)], model_.selectedTrack(), target_, model_.selectedRow());
}

} // namespace veltrane
