#include "Veltrane/Views/Inspector/FlowLayout.hpp"

#include <QWidget>

#include <algorithm>

namespace veltrane::inspector {

FlowLayout::FlowLayout(QWidget* parent, bool trailingAtEnd)
    : QLayout(parent)
    , trailingAtEnd_(trailingAtEnd)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(6);
}

FlowLayout::~FlowLayout()
{
    for (auto* item : items_) delete item;
}

void FlowLayout::addItem(QLayoutItem* item) { items_.push_back(item); }

QLayoutItem* FlowLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= count()) return nullptr;
    auto* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    return item;
}

int FlowLayout::heightForWidth(int width) const { return arrange(QRect(0, 0, width, 0), false); }

QSize FlowLayout::minimumSize() const
{
    // The widest single item: anything wider than that goes onto lines of its own.
    QSize size;
    for (const auto* item : items_)
        if (!item->isEmpty()) size = size.expandedTo(item->minimumSize());
    const auto margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize FlowLayout::sizeHint() const
{
    // Everything on one line.
    int width = 0;
    int height = 0;
    int shown = 0;
    for (const auto* item : items_) {
        if (item->isEmpty()) continue;
        width += item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
        ++shown;
    }
    width += std::max(0, shown - 1) * horizontalGap();
    const auto margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::horizontalGap() const { return std::max(0, spacing()); }

int FlowLayout::verticalGap() const { return std::max(0, spacing()); }

int FlowLayout::arrange(const QRect& rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    std::vector<QLayoutItem*> shown;
    for (auto* item : items_)
        if (!item->isEmpty()) shown.push_back(item);

    // Lines of items, each as wide as fits; an item wider than the area gets a line of its own.
    std::vector<std::vector<QLayoutItem*>> lines(1);
    int x = 0;
    for (auto* item : shown) {
        const int width = std::min(item->sizeHint().width(), area.width());
        if (!lines.back().empty() && x + horizontalGap() + width > area.width()) {
            lines.emplace_back();
            x = 0;
        }
        x += (lines.back().empty() ? 0 : horizontalGap()) + width;
        lines.back().push_back(item);
    }

    int y = area.top();
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const auto& line = lines[l];
        int height = 0;
        for (auto* item : line) height = std::max(height, item->sizeHint().height());
        int left = area.left();
        for (std::size_t i = 0; i < line.size(); ++i) {
            auto* item = line[i];
            const int width = std::min(item->sizeHint().width(), area.width());
            const bool trailing = trailingAtEnd_ && l + 1 == lines.size() && i + 1 == line.size() && line.size() > 1;
            const int at = trailing ? area.right() + 1 - width : left;
            const int itemHeight = std::min(item->sizeHint().height(), height);
            if (apply) item->setGeometry(QRect(at, y + (height - itemHeight) / 2, width, itemHeight));
            left += width + horizontalGap();
        }
        y += height + (l + 1 < lines.size() ? verticalGap() : 0);
    }
    return y - area.top() + contentsMargins().top() + contentsMargins().bottom();
}

} // namespace veltrane::inspector
