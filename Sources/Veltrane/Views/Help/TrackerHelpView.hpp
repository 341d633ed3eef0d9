#pragma once

// The getting-started and shortcuts sheet: a welcome with a Done button (Escape also closes it), four
// first steps, the keyboard shortcuts, the step-effect letters, a note on hexadecimal values, the
// support and privacy statement, a button that copies the diagnostics report and two web links.
//
// The window shows it by itself until it has once been closed, and again whenever the toolbar's help
// item asks; closing it in any way remembers that it was seen.

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QPushButton;
class QScrollArea;
class QSettings;

namespace veltrane {

class AppModel;

class TrackerHelpView final : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 700;
    static constexpr int sheetHeight = 650;
    /// The user-defaults key that remembers the sheet was closed once.
    static constexpr const char* seenKey = "Veltrane.seenGettingStarted";

    explicit TrackerHelpView(AppModel& model, QWidget* parent = nullptr);

    /// The rows of the shortcut table: what is done, and the keys that do it.
    static const std::vector<std::pair<QString, QString>>& shortcuts();

    /// Opens a link; by default in the default browser.
    std::function<void(const QUrl&)> openLink;

    QPushButton* doneButton() const noexcept { return done_; }
    QPushButton* copyDiagnosticsButton() const noexcept { return copy_; }
    QPushButton* websiteLink() const noexcept { return website_; }
    QPushButton* makerLink() const noexcept { return maker_; }
    QScrollArea* scrollArea() const noexcept { return scroll_; }
    bool copied() const noexcept { return copied_; }

private:
    void copyDiagnostics();

    AppModel& model_;
    QScrollArea* scroll_;
    QPushButton* done_;
    QPushButton* copy_;
    QPushButton* website_;
    QPushButton* maker_;
    bool copied_ = false;
};

/// True once the help sheet has been closed on this machine.
bool gettingStartedSeen(QSettings& settings);

/// Shows the help sheet over `window` (raising the one already open), and remembers it as seen in
/// `settings` when it closes, however it is closed. Returns the sheet.
TrackerHelpView* presentHelpSheet(QWidget* window, AppModel& model, std::shared_ptr<QSettings> settings);

} // namespace veltrane
