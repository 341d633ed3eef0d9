#include "Veltrane/Views/Transport/LevelMeterView.hpp"

#include "Veltrane/Model/PlaybackDisplayState.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QPainter>
#include <QTimer>

#include <cmath>

namespace veltrane {

LevelMeterView::LevelMeterView(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Peak level"));
    setAccessibleDescription(QStringLiteral("0 percent"));
}

void LevelMeterView::startAnimating()
{
    if (timer_) return;
    timer_ = new QTimer(this);
    timer_->setInterval(1000 / 30);
    connect(timer_, &QTimer::timeout, this, &LevelMeterView::tick);
    timer_->start();
}

void LevelMeterView::tick()
{
    if (!levelProvider) return;
    const float raw = levelProvider();
    const float level = std::isnan(raw) || raw < 0 ? 0.0f : std::min(raw, 1.0f);
    if (level == level_) return;
    level_ = level;
    setAccessibleDescription(QStringLiteral("%1 percent").arg(static_cast<int>(level_ * 100)));
    update();
}

QColor LevelMeterView::colourFor(float level)
{
    const Theme& theme = Theme::current();
    if (level > 0.92f) return theme.red;
    if (level > 0.72f) return theme.orange;
    return theme.green;
}

void LevelMeterView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF bounds = rect();
    const double radius = bounds.height() / 2;
    painter.setBrush(QColor(0, 0, 0, 71));
    painter.drawRoundedRect(bounds, radius, radius);
    // A bar the colour of the track behind it would vanish on the dark window: the track gets a faint
    // rim so an empty meter still shows where it is.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 22), 1));
    painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (level_ <= 0) return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colourFor(level_));
    painter.drawRoundedRect(QRectF(bounds.left(), bounds.top(), bounds.width() * level_, bounds.height()), radius, radius);
}

LevelMeterView* makeMasterLevelMeter(const MeterState& meters, QWidget* parent)
{
    auto* meter = new LevelMeterView(parent);
    meter->levelProvider = [&meters] { return meters.master; };
    meter->startAnimating();
    return meter;
}

LevelMeterView* makeTrackLevelMeter(const MeterState& meters, int track, QWidget* parent)
{
    auto* meter = new LevelMeterView(parent);
    meter->levelProvider = [&meters, track] {
        return track >= 0 && track < static_cast<int>(meters.tracks.size()) ? meters.tracks[static_cast<std::size_t>(track)] : 0.0f;
    };
    meter->startAnimating();
    return meter;
}

} // namespace veltrane
