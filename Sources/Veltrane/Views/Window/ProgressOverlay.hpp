#pragma once

// Dims the whole window while an export renders or the audio device is being recovered, with one line
// saying which. An export shows how much of it is rendered and a Cancel button; a recovery shows a busy
// indicator.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace veltrane {

class AppModel;

class ProgressOverlay final : public QWidget {
    Q_OBJECT
public:
    ProgressOverlay(AppModel& model, QWidget* parent);

    /// The line shown: "Reconnecting audio…" while recovering, else the export's message.
    QString message() const;
    /// The bar: the fraction rendered of a running export, in thousandths; busy while recovering audio.
    QProgressBar* progressBar() const noexcept { return bar_; }
    /// "Cancel": stops the running export. Shown only while one runs.
    QPushButton* cancelButton() const noexcept { return cancel_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QWidget* box_;
    QLabel* text_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

} // namespace veltrane
