#pragma once

// The settings window. It holds the About section: the product's full title with the running version,
// a caption link to the maker's site, and links to the feedback page and the product's web page. It is
// 460 pixels wide and as tall as its content, and cannot be resized.

#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QMainWindow;
class QPushButton;

namespace veltrane {

class AppModel;

class SettingsWindow final : public QDialog {
    Q_OBJECT
public:
    static constexpr int windowWidth = 460;

    explicit SettingsWindow(AppModel& model, QWidget* parent = nullptr);

    /// Opens a link; by default in the default browser.
    std::function<void(const QUrl&)> openLink;

    QLabel* titleLine() const noexcept { return title_; }
    QPushButton* makerLink() const noexcept { return maker_; }
    QPushButton* feedbackLink() const noexcept { return feedback_; }
    QPushButton* websiteLink() const noexcept { return website_; }

private:
    QLabel* title_;
    QPushButton* maker_;
    QPushButton* feedback_;
    QPushButton* website_;
};

/// Adds "Settings…" (Ctrl+,) to the window's Edit menu; it shows the one settings window, made on first
/// use. Returns the menu item.
QAction* addSettingsCommand(QMainWindow& window, AppModel& model);

} // namespace veltrane
