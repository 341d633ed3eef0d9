#pragma once

// The bar of pattern tools under the pattern header: clipboard, transposition, row shifts, volume
// interpolation, the automation panel's switch and the row zoom.

#include <QWidget>

class QToolButton;

namespace veltrane {

class AppModel;

class EditingToolsBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr double minimumZoom = 0.65;
    static constexpr double maximumZoom = 1.8;
    static constexpr double zoomStep = 0.1;

    explicit EditingToolsBar(AppModel& model, QWidget* parent = nullptr);

    /// "100%": the row zoom in whole percent, rounded.
    static QString zoomText(double rowZoom);

    /// Shows whether the automation panel is open (its button's symbol follows).
    void setAutomationShown(bool shown);

    QToolButton* button(const QString& title) const;

signals:
    void automationToggled();

private:
    void refreshZoom();

    AppModel& model_;
    QToolButton* automation_;
    QToolButton* zoomOut_;
    QToolButton* zoomReset_;
    QToolButton* zoomIn_;
};

} // namespace veltrane
