#include "Veltrane/Views/Tracker/TrackerPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Tracker/AutomationPanel.hpp"
#include "Veltrane/Views/Tracker/EditingToolsBar.hpp"
#include "Veltrane/Views/Tracker/PatternHeaderStrip.hpp"
#include "Veltrane/Views/Tracker/TrackerPatternGrid.hpp"
#include "Veltrane/Views/Song/SongTimeline.hpp"
#include "Veltrane/Views/Transport/TransportBar.hpp"

#include <QFrame>
#include <QVBoxLayout>

namespace veltrane {

TrackerPanel::TrackerPanel(AppModel& model, std::function<int()> midiSources, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("trackerPanel"));
    transportBar_ = new TransportBar(model, std::move(midiSources), this);
    songTimeline_ = new SongTimeline(model, this);
    songTimeline_->setVisible(model.songMode());
    connect(&model, &AppModel::songModeChanged, this, [this, &model] { songTimeline_->setVisible(model.songMode()); });
    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 15);"));
    header_ = new PatternHeaderStrip(model, this);
    tools_ = new EditingToolsBar(model, this);
    automation_ = new AutomationPanel(model, this);
    automation_->hide();
    grid_ = new TrackerPatternGrid(model, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(transportBar_);
    layout->addWidget(songTimeline_);
    layout->addWidget(divider);
    layout->addWidget(header_);
    layout->addWidget(tools_);
    layout->addWidget(automation_);
    layout->addWidget(grid_, 1);

    connect(tools_, &EditingToolsBar::automationToggled, this, [this] { setAutomationShown(!automationShown_); });
}

void TrackerPanel::setAutomationShown(bool shown)
{
    automationShown_ = shown;
    automation_->setVisible(shown);
    tools_->setAutomationShown(shown);
}

} // namespace veltrane
