#include "Veltrane/Views/Transport/PlaybackPositionLabel.hpp"

#include "Veltrane/Model/PlaybackDisplayState.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/CellText.hpp"

#include <QTimer>

namespace veltrane {

PlaybackPositionLabel::PlaybackPositionLabel(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("playbackPosition"));
    setTextInteractionFlags(Qt::NoTextInteraction);
    QFont font = Theme::current().monospaced(18, QFont::DemiBold);
    setFont(font);
    setAccessibleName(QStringLiteral("Playback position"));
}

QString PlaybackPositionLabel::positionText(int pattern, int row) { return hex2(pattern) + QStringLiteral(" : ") + hex2(row); }

void PlaybackPositionLabel::startAnimating()
{
    if (timer_) return;
    timer_ = new QTimer(this);
    timer_->setInterval(1000 / 30);
    connect(timer_, &QTimer::timeout, this, &PlaybackPositionLabel::refresh);
    timer_->start();
    refresh();
}

void PlaybackPositionLabel::refresh()
{
    const int row = state_ && state_->row ? *state_->row : selectedRow_;
    const QString value = positionText(pattern_, row);
    if (value == text()) return;
    setText(value);
    setAccessibleDescription(value);
}

} // namespace veltrane
