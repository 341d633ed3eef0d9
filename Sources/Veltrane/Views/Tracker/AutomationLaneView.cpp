#include "Veltrane/Views/Tracker/AutomationLaneView.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace veltrane {

std::vector<AutomationPoint> automationPoints(const Pattern& pattern, int track, ParameterTarget target)
{
    std::vector<AutomationPoint> points;
    if (track < 0 || track >= pattern.channels) return points;
    const int rows = std::min(pattern.rows, pattern.cells.rowCount());
    for (int row = 0; row < rows; ++row) {
        if (!pattern.contains(row, track)) continue;
        if (const auto* lock = pattern.cell(row, track).lock(target)) points.push_back({row, lock->value});
    }
    return points;
}

AutomationLaneView::AutomationLaneView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("automationLane"));
    setMinimumHeight(40);
    setCursor(Qt::CrossCursor);
    refreshAccessibility();
}

void AutomationLaneView::show(Pattern pattern, int track, ParameterTarget target, int selectedRow)
{
    if (pattern == pattern_ && track == track_ && target == target_ && selectedRow == selectedRow_) return;
    pattern_ = std::move(pattern);
    track_ = track;
    target_ = target;
    selectedRow_ = selectedRow;
    refreshAccessibility();
    update();
}

void AutomationLaneView::refreshAccessibility()
{
    const auto name = label(target_);
    setAccessibleName(QStringLiteral("%1 automation for track %2")
                          .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
                          .arg(track_ + 1));
    setAccessibleDescription(QStringLiteral("%1 parameter locks").arg(points().size()));
}

AutomationPoint AutomationLaneView::valueAt(QPointF point) const
{
    const int rows = pattern_.rows;
    const double w = std::max<double>(width(), 1);
    const double h = std::max<double>(height(), 1);
    const double position = std::trunc(point.x() / w * rows);
    const int row = static_cast<int>(std::clamp(position, 0.0, static_cast<double>(std::max(rows - 1, 0))));
    return {row, valueAtNormalized(target_, 1 - point.y() / h)};
}

void AutomationLaneView::report(QPointF point)
{
    if (!onSet) return;
    const auto value = valueAt(point);
    onSet(value.row, value.value);
}

void AutomationLaneView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) report(event->position());
}

void AutomationLaneView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) report(event->position());
}

void AutomationLaneView::paintEvent(QPaintEvent*)
{
    const Theme& theme = Theme::current();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();
    const double rows = std::max(pattern_.rows, 1);
    auto xOf = [&](int row) { return w * (row + 0.5) / rows; };
    auto yOf = [&](double value) { return h * (1 - normalized(target_, value)); };

    painter.fillRect(rect(), QColor(0, 0, 0, 71));
    painter.setPen(QPen(QColor(255, 255, 255, 14), 1));
    for (double f : {0.0, 0.25, 0.5, 0.75, 1.0}) {
        const double y = std::clamp(h * f, 0.5, h - 0.5);
        painter.drawLine(QPointF(0, y), QPointF(w, y));
    }
    painter.fillRect(QRectF(xOf(selectedRow_) - 1, 0, 2, h), withOpacity(theme.accent, 0.4));

    const auto lanePoints = points();
    if (lanePoints.empty()) {
        painter.setPen(theme.secondaryLabel);
        painter.setFont(theme.interface(11));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Drag to create parameter locks"));
        return;
    }
    QPainterPath line(QPointF(xOf(lanePoints.front().row), yOf(lanePoints.front().value)));
    for (std::size_t i = 1; i < lanePoints.size(); ++i) line.lineTo(xOf(lanePoints[i].row), yOf(lanePoints[i].value));
    QPen pen(theme.accent, 2);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawPath(line);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme.accent);
    for (const auto& point : lanePoints) painter.drawEllipse(QPointF(xOf(point.row), yOf(point.value)), 3.5, 3.5);
}

} // namespace veltrane
