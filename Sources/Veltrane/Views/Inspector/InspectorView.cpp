#include "Veltrane/Views/Inspector/InspectorView.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Inspector/CellPanel.hpp"
#include "Veltrane/Views/Inspector/InspectorStyle.hpp"
#include "Veltrane/Views/Inspector/InstrumentPanel.hpp"
#include "Veltrane/Views/Inspector/MasterPanel.hpp"
#include "Veltrane/Views/Inspector/MixerPanel.hpp"
#include "Veltrane/Views/Inspector/ModulationPanel.hpp"
#include "Veltrane/Views/Inspector/SamplesPanel.hpp"
#include "Veltrane/Views/Inspector/ToolsPanel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane {

using namespace inspector;

InspectorView::InspectorView(AppModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , tabs_(new QButtonGroup(this))
    , scroll_(new QScrollArea(this))
{
    setMinimumWidth(minimumColumnWidth);
    setMaximumWidth(maximumColumnWidth);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    // The tab picker: one checkable symbol per tab, side by side like a segmented control.
    auto* picker = new QWidget(this);
    picker->setAccessibleName(QStringLiteral("Inspector section"));
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(10, 10, 10, 10);
    segments->setSpacing(0);
    tabs_->setExclusive(true);
    for (const auto tab : allInspectorTabs) {
        auto* button = new QToolButton(picker);
        const auto name = inspector::qString(title(tab));
        setSymbol(button, inspector::qString(symbol(tab)));
        button->setIconSize(QSize(18, 18));
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setToolTip(name);
        button->setAccessibleName(name);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setMinimumHeight(28);
        tabs_->addButton(button, static_cast<int>(tab));
        segments->addWidget(button);
    }
    connect(tabs_, &QButtonGroup::idClicked, this, [this](int id) { setCurrentTab(static_cast<InspectorTab>(id)); });

    auto* content = new QWidget;
    auto* contentColumn = new QVBoxLayout(content);
    contentColumn->setContentsMargins(itemSpacing, itemSpacing, itemSpacing, itemSpacing);
    contentColumn->setSpacing(0);
    panels_[index(InspectorTab::cell)] = new CellPanel(model_, content);
    panels_[index(InspectorTab::instrument)] = new InstrumentPanel(model_, content);
    auto* samples = new SamplesPanel(model_, content);
    connect(samples, &SamplesPanel::instrumentChosen, this, [this] { setCurrentTab(InspectorTab::instrument); });
    panels_[index(InspectorTab::samples)] = samples;
    panels_[index(InspectorTab::mixer)] = new MixerPanel(model_, content);
    panels_[index(InspectorTab::modulation)] = new ModulationPanel(model_, content);
    panels_[index(InspectorTab::tools)] = new ToolsPanel(model_, content);
    panels_[index(InspectorTab::master)] = new MasterPanel(model_, content);
    for (auto* panel : panels_) {
        if (!panel) continue;
        panel->hide();
        contentColumn->addWidget(panel);
    }
    contentColumn->addStretch(1);

    scroll_->setWidget(content);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setFocusPolicy(Qt::NoFocus);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(picker);
    column->addWidget(divider(this));
    column->addWidget(scroll_, 1);

    tabs_->button(static_cast<int>(currentTab_))->setChecked(true);
    if (auto* panel = panels_[index(currentTab_)]) panel->show();
}

void InspectorView::setCurrentTab(InspectorTab tab)
{
    tabs_->button(static_cast<int>(tab))->setChecked(true);
    if (tab == currentTab_) return;
    if (auto* panel = panels_[index(currentTab_)]) panel->hide();
    currentTab_ = tab;
    if (auto* panel = panels_[index(currentTab_)]) panel->show();
    scroll_->verticalScrollBar()->setValue(0);
    emit currentTabChanged(tab);
}

QAbstractButton* InspectorView::tabButton(InspectorTab tab) const { return tabs_->button(static_cast<int>(tab)); }

QSize InspectorView::sizeHint() const { return {idealColumnWidth, QWidget::sizeHint().height()}; }

} // namespace veltrane
