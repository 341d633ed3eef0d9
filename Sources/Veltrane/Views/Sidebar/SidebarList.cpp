#include "Veltrane/Views/Sidebar/SidebarList.hpp"

#include "Veltrane/Views/Sidebar/SidebarRow.hpp"

#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace veltrane {

SidebarList::SidebarList(const QString& name, QWidget* parent) : QScrollArea(parent)
{
    setObjectName(name);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Only a list that chooses with the keys takes the focus; the others leave it where it was.
    setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    auto* content = new QWidget(this);
    content->setAutoFillBackground(false);
    rows_ = new QVBoxLayout(content);
    rows_->setContentsMargins(0, 4, 0, 4);
    rows_->setSpacing(0);
    rows_->addStretch(1);
    setWidget(content);
}

int SidebarList::rowCount() const
{
    return rows_->count() - 1; // the stretch below the rows
}

SidebarRow* SidebarList::row(int index) const
{
    if (index < 0 || index >= rowCount()) return nullptr;
    return qobject_cast<SidebarRow*>(rows_->itemAt(index)->widget());
}

void SidebarList::chooseWithKeys(std::function<int()> current, std::function<void(int)> choose)
{
    current_ = std::move(current);
    choose_ = std::move(choose);
    // Only a click gives the list the keys. In the Tab chain it would be the window's first stop, and the
    // window would open with the arrows choosing patterns rather than moving through the grid.
    setFocusPolicy(Qt::ClickFocus);
}

void SidebarList::keyPressEvent(QKeyEvent* event)
{
    const int count = rowCount();
    const bool modified =
        event->modifiers().testAnyFlags(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!choose_ || count == 0 || modified) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    const int current = current_();
    int target = current;
    switch (event->key()) {
    case Qt::Key_Up: target = current - 1; break;
    case Qt::Key_Down: target = current + 1; break;
    case Qt::Key_Home: target = 0; break;
    case Qt::Key_End: target = count - 1; break;
    default: QScrollArea::keyPressEvent(event); return;
    }
    event->accept();
    target = std::clamp(target, 0, count - 1);
    if (target == current) return;
    choose_(target);
    if (SidebarRow* chosen = row(target)) ensureWidgetVisible(chosen, 0, 0);
}

// The rows draw their highlight after the list's focus; they are repainted when it comes or goes.
void SidebarList::focusInEvent(QFocusEvent* event)
{
    QScrollArea::focusInEvent(event);
    widget()->update();
}

void SidebarList::focusOutEvent(QFocusEvent* event)
{
    QScrollArea::focusOutEvent(event);
    widget()->update();
}

} // namespace veltrane
