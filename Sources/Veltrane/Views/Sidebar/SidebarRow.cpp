#include "Veltrane/Views/Sidebar/SidebarRow.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Sidebar/SidebarList.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace veltrane {

SidebarRow::SidebarRow(QWidget* parent) : QWidget(parent) {}

void SidebarRow::setHighlighted(bool highlighted)
{
    if (highlighted_ == highlighted) return;
    highlighted_ = highlighted;
    update();
}

void SidebarRow::setTint(QColor tint)
{
    if (tint_ == tint) return;
    tint_ = tint;
    update();
}

void SidebarRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(6, 1, -6, -1);
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    if (tint_.alpha() > 0) painter.fillPath(shape, tint_);
    // The selection is drawn over the loop tint so both stay visible on a selected row inside the loop.
    if (highlighted_) painter.fillPath(shape, withOpacity(Theme::current().accent, inFocusedList() ? 0.5 : 0.3));
}

bool SidebarRow::inFocusedList() const
{
    for (QWidget* above = parentWidget(); above; above = above->parentWidget())
        if (auto* list = qobject_cast<SidebarList*>(above)) return list->hasFocus();
    return false;
}

void SidebarRow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit pressed();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace veltrane
