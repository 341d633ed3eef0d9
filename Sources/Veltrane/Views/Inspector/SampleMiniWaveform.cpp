#include "Veltrane/Views/Inspector/SampleMiniWaveform.hpp"

#include "Veltrane/Views/Shared/Theme.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace veltrane::inspector {

SampleMiniWaveform::SampleMiniWaveform(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Sample waveform preview"));
    setFixedHeight(30);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleDescription(accessibleValue());
}

void SampleMiniWaveform::setPeaks(std::vector<float> peaks)
{
    if (peaks == peaks_) return;
    peaks_ = std::move(peaks);
    setAccessibleDescription(accessibleValue());
    update();
}

QString SampleMiniWaveform::accessibleValue() const
{
    float loudest = 0;
    for (const float value : peaks_) loudest = std::max(loudest, std::abs(value));
    return QStringLiteral("%1 values, loudest %2 percent")
        .arg(peaks_.size())
        .arg(static_cast<long long>(std::min(loudest, 1.0f) * 100));
}

void SampleMiniWaveform::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();
    QPainterPath background;
    background.addRoundedRect(QRectF(0, 0, w, h), 4, 4);
    painter.fillPath(background, QColor(0, 0, 0, 46));
    if (peaks_.empty()) return;

    // One path of bars, stroked once: the cost of a repaint is the number of values, never the sample's.
    const double divisor = peaks_.size() > 1 ? static_cast<double>(peaks_.size() - 1) : 1.0;
    QPainterPath bars;
    for (std::size_t i = 0; i < peaks_.size(); ++i) {
        const double x = w * static_cast<double>(i) / divisor;
        const double bar = h * std::clamp(static_cast<double>(peaks_[i]), 0.0, 1.0) * 0.9;
        bars.moveTo(x, (h - bar) / 2);
        bars.lineTo(x, (h + bar) / 2);
    }
    painter.strokePath(bars, QPen(withOpacity(Theme::current().accent, 0.8), 1));
}

} // namespace veltrane::inspector
