#include "Veltrane/Views/Inspector/InspectorPanel.hpp"

#include "Veltrane/Model/AppModel.hpp"

#include <QEvent>

namespace veltrane {

InspectorPanel::InspectorPanel(AppModel& model, QWidget* parent)
    : QWidget(parent)
    , model_(model)
{
}

void InspectorPanel::refresh()
{
    // Showing values reports nothing to the model, so a pass never starts another; a signal that arrives
    // during one (a control's own report coming back) is covered by that pass.
    if (updating_) return;
    updating_ = true;
    stale_ = false;
    showModel();
    updating_ = false;
}

void InspectorPanel::modelChanged()
{
    if (isVisible()) refresh();
    else stale_ = true;
}

void InspectorPanel::showEvent(QShowEvent* event)
{
    if (stale_) refresh();
    QWidget::showEvent(event);
}

void InspectorPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange) refresh();
    QWidget::changeEvent(event);
}

} // namespace veltrane
