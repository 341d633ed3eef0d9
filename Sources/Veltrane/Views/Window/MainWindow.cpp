#include "Veltrane/Views/Window/MainWindow.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Help/TrackerHelpView.hpp"
#include "Veltrane/Views/Settings/SettingsWindow.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"
#include "Veltrane/Views/Sidebar/Sidebar.hpp"
#include "Veltrane/Views/Toolbar/ProjectToolbar.hpp"
#include "Veltrane/Views/Tracker/TrackerPanel.hpp"
#include "Veltrane/Views/Transport/MidiSourceCount.hpp"
#include "Veltrane/Views/Window/ProgressOverlay.hpp"

#if __has_include("Veltrane/Views/Inspector/InspectorView.hpp")
#include "Veltrane/Views/Inspector/InspectorView.hpp"
#define VELTRANE_HAS_INSPECTOR_VIEW 1
#endif

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrane {

namespace {

QWidget* makeColumn(const QString& name, int minimum, int maximum, QWidget* parent)
{
    auto* column = new QWidget(parent);
    column->setObjectName(name);
    column->setMinimumWidth(minimum);
    column->setMaximumWidth(maximum);
    fillBackground(column, Theme::current().sideBackground);
    return column;
}

/// The commands that start an export or an import: only one export runs at a time, so wherever they
/// appear (menu bar or toolbar) they are disabled while one renders.
const QStringList& exportCommandTexts()
{
    static const QStringList texts{QStringLiteral("Export WAV\u2026"), QStringLiteral("Export Stems\u2026"),
                                   QStringLiteral("Export MIDI\u2026"), QStringLiteral("Import MIDI\u2026")};
    return texts;
}

} // namespace

MainWindow::MainWindow(AppModel& model, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), model_(model)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("mainWindow"));
    setMinimumSize(minimumWidth, minimumHeight);
    resize(1400, 860);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme.windowBackground);
    setPalette(palette);
    setAutoFillBackground(true);

    columns_ = new QSplitter(Qt::Horizontal, this);
    columns_->setObjectName(QStringLiteral("columns"));
    columns_->setChildrenCollapsible(false);
    columns_->setHandleWidth(1);
    columns_->setStyleSheet(QStringLiteral("QSplitter::handle { background: rgba(255, 255, 255, 20); }"));

    sidebar_ = makeColumn(QStringLiteral("sidebar"), 175, 260, columns_);
    auto* sidebarLayout = new QVBoxLayout(sidebar_);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->addWidget(new Sidebar(model, sidebar_));
    tracker_ = new TrackerPanel(model, options.midiSources ? options.midiSources : std::function<int()>(midiSourceCount),
                                columns_);
    tracker_->setMinimumWidth(600);
#ifdef VELTRANE_HAS_INSPECTOR_VIEW
    inspector_ = new InspectorView(model, columns_);
    inspector_->setMinimumWidth(235);
    inspector_->setMaximumWidth(330);
#else
    // The inspector column keeps its place and sizes until its panels exist.
    inspector_ = makeColumn(QStringLiteral("inspector"), 235, 330, columns_);
#endif
    columns_->addWidget(sidebar_);
    columns_->addWidget(tracker_);
    columns_->addWidget(inspector_);
    columns_->setStretchFactor(0, 0);
    columns_->setStretchFactor(1, 1);
    columns_->setStretchFactor(2, 0);
    columns_->setSizes({210, width() - 210 - 270, 270});
    setCentralWidget(columns_);

    buildMenus();
    addSettingsCommand(*this, model);
    buildToolbar();
    // The help sheet remembers in the user defaults that it was seen, so it opens by itself only once.
    auto defaults = options.settings ? options.settings : std::make_shared<QSettings>();
    connect(static_cast<ProjectToolbar*>(toolbar_), &ProjectToolbar::helpRequested, this,
            [this, defaults] { presentHelpSheet(this, model_, defaults); });
    if (options.helpOnFirstLaunch && !gettingStartedSeen(*defaults))
        QTimer::singleShot(0, this, [this, defaults] { presentHelpSheet(this, model_, defaults); });
    overlay_ = new ProgressOverlay(model, this);

    presentError = [this](const QString& message) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Veltrane"), message, QMessageBox::Ok, this);
        box.exec();
    };
    presentRecovery = [this] { showRecoveryAlert(); };

    auto refreshTitle = [this] { setWindowTitle(QString::fromStdString(model_.title())); };
    connect(&model, &AppModel::projectChanged, this, refreshTitle);
    connect(&model, &AppModel::isDirtyChanged, this, refreshTitle);
    refreshTitle();

    for (auto signal : {&AppModel::historyChanged, &AppModel::availableUpdateChanged, &AppModel::isUpdatingChanged,
                        &AppModel::isCheckingForUpdateChanged, &AppModel::isPlayingChanged,
                        &AppModel::isPreparingPlaybackChanged, &AppModel::isExportingChanged}) {
        connect(&model, signal, this, &MainWindow::refreshCommands);
    }
    refreshCommands();
    // Alerts open from the event loop, never inside the change that asked for them.
    connect(&model, &AppModel::errorChanged, this, [this] {
        QTimer::singleShot(0, this, &MainWindow::presentPendingAlerts);
    });
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    auto add = [this](QMenu* menu, const QString& text, QKeySequence shortcut, auto slot) {
        QAction* action = menu->addAction(text);
        if (!shortcut.isEmpty()) action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(file, QStringLiteral("New Project"), QKeySequence(Qt::CTRL | Qt::Key_N), [this] { model_.newProject(); });
    add(file, QStringLiteral("Load Demo Project"), {}, [this] { model_.loadDemoProject(); });
    add(file, QStringLiteral("Open\u2026"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { model_.open(); });
    add(file, QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S), [this] { model_.save(); });
    file->addSeparator();
    const std::function<void()> exportCommands[] = {[this] { model_.exportWAV(); }, [this] { model_.exportStems(); },
                                                     [this] { model_.exportMIDI(); }, [this] { model_.importMIDIFile(); }};
    for (qsizetype i = 0; i < exportCommandTexts().size(); ++i) add(file, exportCommandTexts()[i], {}, exportCommands[i]);
    file->addSeparator();
    QAction* quit = add(file, QStringLiteral("Quit Veltrane"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    undo_ = add(edit, QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { model_.undo(); });
    redo_ = add(edit, QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { model_.redo(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("Veltrane Help"), QKeySequence(Qt::CTRL | Qt::Key_Question),
        [this] { QDesktopServices::openUrl(model_.websiteURL()); });
    help->addSeparator();
    add(help, QStringLiteral("Veltrane Feedback\u2026"), {}, [this] { QDesktopServices::openUrl(model_.feedbackURL()); });
    help->addSeparator();
    updateTo_ = add(help, QStringLiteral("Update\u2026"), {}, [this] {
        if (auto* commands = model_.updateCommands()) commands->promptForUpdate();
    });
    checkForUpdates_ = add(help, QStringLiteral("Check for Updates\u2026"), {}, [this] {
        if (auto* commands = model_.updateCommands()) commands->checkForUpdatesManually();
    });
}

void MainWindow::buildToolbar()
{
    toolbar_ = new ProjectToolbar(model_, this);
    addToolBar(toolbar_);
}

QAction* MainWindow::action(const QString& text) const
{
    for (auto* candidate : findChildren<QAction*>())
        if (candidate->text() == text) return candidate;
    return nullptr;
}

void MainWindow::refreshCommands()
{
    undo_->setEnabled(model_.canUndo());
    redo_->setEnabled(model_.canRedo());
    const auto update = model_.availableUpdate();
    updateTo_->setVisible(update.has_value());
    if (update) updateTo_->setText(QStringLiteral("Update to %1\u2026").arg(QString::fromStdString(update->version)));
    for (auto* command : findChildren<QAction*>())
        if (exportCommandTexts().contains(command->text())) command->setEnabled(!model_.isExporting());
    checkForUpdates_->setEnabled(!(model_.isCheckingForUpdate() || model_.isUpdating() || model_.isPlaying() ||
                                   model_.isPreparingPlayback() || model_.isExporting()));
}

void MainWindow::openDocument(const std::filesystem::path& path)
{
    if (model_.recoveryAvailable()) {
        model_.setPendingOpenURL(path);
        return;
    }
    if (model_.confirmDiscard()) model_.loadProject(path);
}

void MainWindow::presentPendingAlerts()
{
    if (presentingAlert_) return;
    presentingAlert_ = true;
    if (model_.recoveryAvailable() && presentRecovery) presentRecovery();
    while (const auto error = model_.error()) {
        const QString message = QString::fromStdString(*error);
        if (presentError) presentError(message);
        // Whatever closed the alert, the error has been seen; a newer one stays for the next turn.
        if (model_.error() == error) model_.setError(std::nullopt);
    }
    presentingAlert_ = false;
}

void MainWindow::showRecoveryAlert()
{
    // The alert stays until one of its answers clears the offer.
    while (model_.recoveryAvailable()) {
        const bool original = model_.recoveryOriginalAvailable();
        QMessageBox box(this);
        box.setWindowTitle(QStringLiteral("Veltrane"));
        box.setText(QStringLiteral("Recover Unsaved Project?"));
        box.setInformativeText(original
                                   ? QStringLiteral("Veltrane found newer unsaved work. Recover it or open the last saved original.")
                                   : QStringLiteral("Veltrane found unsaved work from an earlier session."));
        QPushButton* recover = box.addButton(QStringLiteral("Recover Autosave"), QMessageBox::AcceptRole);
        QPushButton* openOriginal = original ? box.addButton(QStringLiteral("Open Original"), QMessageBox::ActionRole) : nullptr;
        QPushButton* discard = box.addButton(QStringLiteral("Discard Autosave"), QMessageBox::DestructiveRole);
        box.setDefaultButton(recover);
        box.exec();
        if (box.clickedButton() == recover) model_.recoverAutosave();
        else if (openOriginal && box.clickedButton() == openOriginal) model_.openRecoveryOriginal();
        else if (box.clickedButton() == discard) model_.discardRecovery();
    }
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    QTimer::singleShot(0, this, &MainWindow::presentPendingAlerts);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The one question before the window goes; closing it quits, and nothing asks again after a yes.
    if (model_.confirmDiscard()) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace veltrane
