#include "Veltrane/Views/Window/ProgressOverlay.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace veltrane {

ProgressOverlay::ProgressOverlay(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setObjectName(QStringLiteral("progressOverlay"));
    const Theme& theme = Theme::current();
    box_ = new QWidget(this);
    box_->setObjectName(QStringLiteral("progressBox"));
    box_->setStyleSheet(QStringLiteral("#progressBox { background: rgba(44, 44, 48, 240); border-radius: 14px; }"));
    auto* layout = new QVBoxLayout(box_);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(10);
    bar_ = new QProgressBar(box_);
    bar_->setObjectName(QStringLiteral("exportProgress"));
    bar_->setTextVisible(false);
    bar_->setFixedWidth(220);
    text_ = new QLabel(box_);
    text_->setFont(theme.interface(14, QFont::DemiBold));
    text_->setAlignment(Qt::AlignCenter);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), box_);
    cancel_->setObjectName(QStringLiteral("cancelExport"));
    cancel_->setFocusPolicy(Qt::NoFocus);
    // A cancel takes effect at the renderer's next block; the button stays off until this export ends.
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancel_->setEnabled(false);
        model_.cancelExport();
    });
    layout->addWidget(bar_, 0, Qt::AlignHCenter);
    layout->addWidget(text_, 0, Qt::AlignHCenter);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);

    parent->installEventFilter(this);
    connect(&model, &AppModel::isExportingChanged, this, &ProgressOverlay::refresh);
    connect(&model, &AppModel::isRecoveringAudioChanged, this, &ProgressOverlay::refresh);
    connect(&model, &AppModel::exportMessageChanged, this, &ProgressOverlay::refresh);
    connect(&model, &AppModel::exportProgressChanged, this, &ProgressOverlay::refresh);
    connect(&model, &AppModel::isExportingChanged, cancel_, [this] { cancel_->setEnabled(true); });
    refresh();
}

QString ProgressOverlay::message() const
{
    if (model_.isRecoveringAudio()) return QStringLiteral("Reconnecting audio\u2026");
    return QString::fromStdString(model_.exportMessage());
}

void ProgressOverlay::refresh()
{
    text_->setText(message());
    const bool exporting = model_.isExporting() && !model_.isRecoveringAudio();
    if (exporting) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(std::lround(std::clamp(model_.exportProgress(), 0.0, 1.0) * 1000)));
    } else {
        bar_->setRange(0, 0);
    }
    cancel_->setVisible(model_.isExporting());
    setGeometry(parentWidget()->rect());
    box_->adjustSize();
    box_->move((width() - box_->width()) / 2, (height() - box_->height()) / 2);
    const bool shown = model_.isExporting() || model_.isRecoveringAudio();
    setVisible(shown);
    if (shown) raise();
}

void ProgressOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 71));
}

bool ProgressOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) refresh();
    return QWidget::eventFilter(watched, event);
}

} // namespace veltrane
