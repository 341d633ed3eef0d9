#pragma once

// The window's toolbar: the project menu (open, save, MIDI import and the three exports), Undo and Redo,
// and the button that opens the help sheet. Every item calls one model operation; Undo and Redo are
// enabled while the model has a step to take back or to do again. No item has a shortcut of its own:
// Open, Save, Undo and Redo have theirs in the menus.

#include <QToolBar>

class QAction;
class QMenu;

namespace veltrane {

class AppModel;

class ProjectToolbar final : public QToolBar {
    Q_OBJECT
public:
    explicit ProjectToolbar(AppModel& model, QWidget* parent = nullptr);

    QAction* projectMenuAction() const noexcept { return files_; }
    QMenu* projectMenu() const noexcept { return filesMenu_; }
    QAction* undoAction() const noexcept { return undo_; }
    QAction* redoAction() const noexcept { return redo_; }
    QAction* helpAction() const noexcept { return help_; }

signals:
    /// The help item was chosen: the window shows the help sheet.
    void helpRequested();

private:
    void refresh();

    AppModel& model_;
    QAction* files_;
    QMenu* filesMenu_;
    QAction* undo_;
    QAction* redo_;
    QAction* help_;
};

} // namespace veltrane
