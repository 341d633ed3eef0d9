#include "Veltrane/Views/Tracker/EditingToolsBar.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Tracker/TrackerCommands.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace veltrane {

EditingToolsBar::EditingToolsBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("editingTools"));
    setFixedHeight(36);
    fillBackground(this, withOpacity(theme.panelBackground, 0.82));
    setStyleSheet(barButtonStyle());

    auto* copy = makeIconButton(QStringLiteral("doc.on.doc"), QStringLiteral("Copy"));
    auto* paste = makeIconButton(QStringLiteral("doc.on.clipboard"), QStringLiteral("Paste"));
    connect(copy, &QToolButton::clicked, this, [this] { model_.copySelection(); });
    connect(paste, &QToolButton::clicked, this, [this] { model_.pasteSelection(); });

    auto transposeButton = [this](const QString& text, int semitones) {
        auto* button = makeTextButton(text);
        connect(button, &QToolButton::clicked, this, [this, semitones] { tracker::transpose(model_, semitones); });
        return button;
    };
    auto* down12 = transposeButton(QStringLiteral("\u221212"), -12);
    auto* down1 = transposeButton(QStringLiteral("\u22121"), -1);
    auto* up1 = transposeButton(QStringLiteral("+1"), 1);
    auto* up12 = transposeButton(QStringLiteral("+12"), 12);

    auto* shiftUp = makeIconButton(QStringLiteral("arrow.up"), QStringLiteral("Shift Up"));
    auto* shiftDown = makeIconButton(QStringLiteral("arrow.down"), QStringLiteral("Shift Down"));
    auto* interpolate = makeIconButton(QStringLiteral("chart.line.uptrend.xyaxis"), QStringLiteral("Interpolate"));
    connect(shiftUp, &QToolButton::clicked, this, [this] { tracker::rotateRows(model_, -1); });
    connect(shiftDown, &QToolButton::clicked, this, [this] { tracker::rotateRows(model_, 1); });
    connect(interpolate, &QToolButton::clicked, this, [this] { tracker::interpolateVolume(model_); });

    automation_ = makeIconButton(QStringLiteral("waveform.path.ecg.rectangle"), QStringLiteral("Automation"),
                                 QStringLiteral("Show automation lane"));
    connect(automation_, &QToolButton::clicked, this, &EditingToolsBar::automationToggled);

    zoomOut_ = makeIconButton(QStringLiteral("minus.magnifyingglass"), QStringLiteral("Zoom Out"));
    zoomReset_ = makeTextButton({});
    zoomReset_->setObjectName(QStringLiteral("zoomPercentage"));
    zoomReset_->setMinimumWidth(40);
    zoomIn_ = makeIconButton(QStringLiteral("plus.magnifyingglass"), QStringLiteral("Zoom In"));
    // Zoom is a setting of the view, not an edit: no undo step.
    connect(zoomOut_, &QToolButton::clicked, this,
            [this] { model_.setRowZoom(std::max(model_.rowZoom() - zoomStep, minimumZoom)); });
    connect(zoomReset_, &QToolButton::clicked, this, [this] { model_.setRowZoom(1.0); });
    connect(zoomIn_, &QToolButton::clicked, this,
            [this] { model_.setRowZoom(std::min(model_.rowZoom() + zoomStep, maximumZoom)); });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 0, 10, 0);
    layout->setSpacing(6);
    layout->addWidget(makeControlGroup({copy, paste}, this));
    layout->addWidget(makeDivider(20, this));
    layout->addWidget(makeCaption(QStringLiteral("TRANSPOSE"), 9, QFont::Bold, theme.secondaryLabel, this));
    layout->addWidget(makeControlGroup({down12, down1, up1, up12}, this));
    layout->addWidget(makeDivider(20, this));
    layout->addWidget(makeControlGroup({shiftUp, shiftDown, interpolate}, this));
    layout->addWidget(automation_);
    layout->addStretch(1);
    layout->addWidget(makeControlGroup({zoomOut_, zoomReset_, zoomIn_}, this));
    layout->addWidget(makeCaption(QStringLiteral("\u21E7 ARROWS SELECT \u00B7 TAB FIELDS \u00B7 HEX EDIT"), 9,
                                  QFont::Medium, theme.tertiaryLabel, this));

    connect(&model, &AppModel::rowZoomChanged, this, &EditingToolsBar::refreshZoom);
    refreshZoom();
}

QString EditingToolsBar::zoomText(double rowZoom)
{
    // Steps of 0.1 leave binary fractions behind (0.95 is 0.9499…); the rounded percentage is what was meant.
    return QStringLiteral("%1%").arg(std::lround(rowZoom * 100));
}

void EditingToolsBar::setAutomationShown(bool shown)
{
    setSymbol(automation_, shown ? QStringLiteral("waveform.path.ecg.rectangle.fill")
                                 : QStringLiteral("waveform.path.ecg.rectangle"));
}

QToolButton* EditingToolsBar::button(const QString& title) const
{
    for (auto* button : findChildren<QToolButton*>())
        if (button->accessibleName() == title || button->text() == title) return button;
    return nullptr;
}

void EditingToolsBar::refreshZoom()
{
    const double zoom = model_.rowZoom();
    zoomReset_->setText(zoomText(zoom));
    zoomOut_->setEnabled(zoom > minimumZoom);
    zoomIn_->setEnabled(zoom < maximumZoom);
}

} // namespace veltrane
