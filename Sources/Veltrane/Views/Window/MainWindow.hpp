#pragma once

// The one main window: menus, toolbar, and three resizable columns (sidebar, tracker, inspector) over
// a near-black background; the progress overlay, the error alert and the autosave-recovery alert. It
// owns no document: everything it shows or changes is the model's.
//
// Closing the window quits the application, after the unsaved-changes question has been asked once.

#include <QMainWindow>

#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QSettings;
class QSplitter;
class QToolBar;

namespace veltrane {

class AppModel;
class ProgressOverlay;
class TrackerPanel;

struct MainWindowOptions {
    /// Counts the MIDI sources for the transport's MIDI switch; none counts the system's.
    std::function<int()> midiSources;
    /// The user defaults of the window's own flags (the help sheet's); none for the application's.
    std::shared_ptr<QSettings> settings;
    /// Shows the help sheet when the window first opens, unless it was closed once before.
    bool helpOnFirstLaunch = false;
};

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 1040;
    static constexpr int minimumHeight = 650;

    explicit MainWindow(AppModel& model, MainWindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    AppModel& model() noexcept { return model_; }
    QSplitter* columns() const noexcept { return columns_; }
    TrackerPanel* tracker() const noexcept { return tracker_; }
    QWidget* sidebar() const noexcept { return sidebar_; }
    QWidget* inspector() const noexcept { return inspector_; }
    QToolBar* toolbar() const noexcept { return toolbar_; }
    ProgressOverlay* progressOverlay() const noexcept { return overlay_; }

    /// The menu command or toolbar item with this text ("Undo", "Check for Updates…").
    QAction* action(const QString& text) const;

    /// Opens a document the system handed the application: held back while recovery is offered,
    /// otherwise opened after the unsaved-changes question.
    void openDocument(const std::filesystem::path& path);

    /// Shows the error alert; by default a message box titled "Veltrane" with one "OK" button.
    std::function<void(const QString& message)> presentError;
    /// Shows the recovery alert until one of its answers is taken; by default a message box.
    std::function<void()> presentRecovery;

    /// Shows the alerts the model asks for now (an error, a recovery offer). Called when the window
    /// first shows and whenever the model's error changes.
    void presentPendingAlerts();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void refreshCommands();
    void showRecoveryAlert();

    AppModel& model_;
    QSplitter* columns_;
    QWidget* sidebar_;
    TrackerPanel* tracker_;
    QWidget* inspector_;
    QToolBar* toolbar_ = nullptr;
    ProgressOverlay* overlay_;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    QAction* updateTo_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
    bool presentingAlert_ = false;
    bool shownOnce_ = false;
};

} // namespace veltrane
