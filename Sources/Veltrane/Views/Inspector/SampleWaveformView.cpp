#include "Veltrane/Views/Inspector/SampleWaveformView.hpp"

#include "Veltrane/Views/Inspector/InspectorStyle.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <utility>

namespace veltrane::inspector {

namespace {

/// The background's corner radius.
constexpr double cornerRadius = 8;
/// How near (in pixels) a press must be to a mark to grab it.
constexpr double grabDistance = 5;

const QColor waveColour(0, 199, 214, 230);
const QColor trimColour(0xff, 0x95, 0x00);
const QColor loopColour(0xaf, 0x52, 0xde);
const QColor sliceColour(0x00, 0xc7, 0xbe);

} // namespace

SampleWaveformView::SampleWaveformView(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Sample waveform"));
    setMinimumHeight(40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(86);
    setMouseTracking(true);
    showAccessibleValue();
}

void SampleWaveformView::setPeaks(std::vector<float> peaks)
{
    setLevels(std::make_shared<WaveformLevels>(std::move(peaks)));
}

void SampleWaveformView::setLevels(std::shared_ptr<const WaveformLevels> levels)
{
    levels_ = levels ? std::move(levels) : std::make_shared<WaveformLevels>();
    waveImage_ = QImage();
    update();
}

void SampleWaveformView::setMarks(double trimStart, double trimEnd, std::optional<double> loopStart,
                                  std::optional<double> loopEnd, std::vector<double> slicePoints)
{
    trimStart_ = trimStart;
    trimEnd_ = trimEnd;
    loopStart_ = loopStart;
    loopEnd_ = loopEnd;
    slicePoints_ = std::move(slicePoints);
    showAccessibleValue();
    update();
}

void SampleWaveformView::setVisibleRange(double start, double end)
{
    start = std::clamp(start, 0.0, 1.0);
    end = std::clamp(end, 0.0, 1.0);
    if (!(end > start)) return;
    visibleStart_ = start;
    visibleEnd_ = end;
    update();
}

QString SampleWaveformView::accessibleValue() const
{
    // Whole percent, cut toward zero: 0.999 reads as 99.
    return QStringLiteral("Trimmed from %1 to %2 percent, %3 slices")
        .arg(static_cast<long long>(trimStart_ * 100))
        .arg(static_cast<long long>(trimEnd_ * 100))
        .arg(slicePoints_.size());
}

void SampleWaveformView::showAccessibleValue() { setAccessibleDescription(accessibleValue()); }

double SampleWaveformView::xOf(double fraction) const
{
    return width() * (fraction - visibleStart_) / (visibleEnd_ - visibleStart_);
}

double SampleWaveformView::fractionAt(double x) const
{
    return visibleStart_ + x / std::max(width(), 1) * (visibleEnd_ - visibleStart_);
}

double SampleWaveformView::wholeFraction(double keptFraction) const
{
    return trimStart_ + keptFraction * (trimEnd_ - trimStart_);
}

double SampleWaveformView::keptFraction(double wholeFraction) const
{
    const double kept = trimEnd_ - trimStart_;
    return kept > 0 ? (wholeFraction - trimStart_) / kept : wholeFraction - trimStart_;
}

bool SampleWaveformView::isLoopHandle(Handle handle) { return handle == Handle::loopStart || handle == Handle::loopEnd; }

double SampleWaveformView::pointAt(Handle handle, double x) const
{
    const double whole = fractionAt(x);
    return std::clamp(isLoopHandle(handle) ? keptFraction(whole) : whole, 0.0, 1.0);
}

std::optional<SampleWaveformView::Handle> SampleWaveformView::handleAt(double x) const
{
    std::optional<Handle> nearest;
    double best = grabDistance;
    const auto consider = [&](Handle handle, std::optional<double> fraction) {
        if (!fraction) return;
        const double distance = std::abs(xOf(*fraction) - x);
        if (distance <= best) {
            best = distance;
            nearest = handle;
        }
    };
    consider(Handle::trimStart, trimStart_);
    consider(Handle::trimEnd, trimEnd_);
    if (loopStart_ && loopEnd_) {
        consider(Handle::loopStart, wholeFraction(*loopStart_));
        consider(Handle::loopEnd, wholeFraction(*loopEnd_));
    }
    return nearest;
}

void SampleWaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();
    QPainterPath background;
    background.addRoundedRect(QRectF(0, 0, w, h), cornerRadius, cornerRadius);
    painter.fillPath(background, QColor(0, 0, 0, 97));

    if (levels_->finestPairCount() < 1) {
        painter.setPen(secondaryTextColor(*this));
        painter.setFont(captionFont(*this));
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Sample unavailable"));
        return;
    }
    // One line per pair of the level that gives about a pair per device pixel across the visible part,
    // drawn into an image that is kept until the overview, the part shown or the size changes: dragging a
    // mark repaints without drawing the wave again.
    const WaveformFrame frame{.start = visibleStart_, .end = visibleEnd_, .width = w, .height = h,
                              .scale = painter.deviceTransform().m11(), .cornerRadius = cornerRadius};
    if (waveFrame_ != frame || waveImage_.isNull()) {
        waveImage_ = waveformImage(*levels_, frame, waveColour);
        waveFrame_ = frame;
    }
    painter.drawImage(QPointF(0, 0), waveImage_);
    // The darkening and the marks are few shapes: they are clipped to the background the ordinary way.
    painter.setClipPath(background);

    const double startX = xOf(trimStart_);
    const double endX = xOf(trimEnd_);
    painter.fillRect(QRectF(0, 0, std::max(startX, 0.0), h), QColor(0, 0, 0, 140));
    painter.fillRect(QRectF(endX, 0, std::max(w - endX, 0.0), h), QColor(0, 0, 0, 140));
    painter.setPen(QPen(trimColour, 2));
    painter.drawLine(QLineF(startX, 0, startX, h));
    painter.drawLine(QLineF(endX, 0, endX, h));

    if (loopStart_ && loopEnd_) {
        QPen dashed(loopColour, 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        dashed.setDashPattern({4 / 1.5, 3 / 1.5}); // the pattern is in pen widths
        painter.setPen(dashed);
        for (const double point : {*loopStart_, *loopEnd_}) {
            const double x = xOf(wholeFraction(point));
            painter.drawLine(QLineF(x, 0, x, h));
        }
    }
    if (!slicePoints_.empty()) {
        QPen dashed(sliceColour, 1.5, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        dashed.setDashPattern({2 / 1.5, 2 / 1.5});
        painter.setPen(dashed);
        for (const double point : slicePoints_) {
            const double x = xOf(wholeFraction(point));
            painter.drawLine(QLineF(x, 0, x, h));
        }
    }
}

void SampleWaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    dragging_ = handleAt(event->position().x());
    dragMoved_ = false;
    if (dragging_) dragFraction_ = pointAt(*dragging_, event->position().x());
}

void SampleWaveformView::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (!dragging_) {
        setCursor(handleAt(x) ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    // The mark follows the pointer; the edit is made once, when the button is let go.
    dragMoved_ = true;
    dragFraction_ = pointAt(*dragging_, x);
    switch (*dragging_) {
    case Handle::trimStart: trimStart_ = dragFraction_; break;
    case Handle::trimEnd: trimEnd_ = dragFraction_; break;
    case Handle::loopStart: loopStart_ = dragFraction_; break;
    case Handle::loopEnd: loopEnd_ = dragFraction_; break;
    }
    update();
}

void SampleWaveformView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const auto handle = std::exchange(dragging_, std::nullopt);
    if (handle && dragMoved_) {
        if (onHandleMoved) onHandleMoved(*handle, dragFraction_);
        return;
    }
    if (onToggleSlice) onToggleSlice(keptFraction(fractionAt(event->position().x())));
}

} // namespace veltrane::inspector
