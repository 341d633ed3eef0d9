#pragma once

// Dims the whole window while an export renders or the audio device is being recovered, with a busy
// indicator and one line saying which.

#include <QWidget>

class QLabel;

namespace veltrane {

class AppModel;

class ProgressOverlay final : public QWidget {
    Q_OBJECT
public:
    ProgressOverlay(AppModel& model, QWidget* parent);

    /// The line shown: "Reconnecting audio…" while recovering, else the export's message.
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QWidget* box_;
    QLabel* text_;
};

} // namespace veltrane
