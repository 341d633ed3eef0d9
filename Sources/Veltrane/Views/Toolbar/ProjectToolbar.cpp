#include "Veltrane/Views/Toolbar/ProjectToolbar.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/SymbolIcon.hpp"

#include <QMenu>
#include <QToolButton>

namespace veltrane {

namespace {

QAction* symbolAction(const QString& symbol, const QString& text, QObject* parent)
{
    auto* action = new QAction(symbolIcon(symbol), text, parent);
    action->setProperty(symbolProperty, symbol);
    return action;
}

} // namespace

ProjectToolbar::ProjectToolbar(AppModel& model, QWidget* parent) : QToolBar(QStringLiteral("Project"), parent), model_(model)
{
    setObjectName(QStringLiteral("toolbar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);

    filesMenu_ = new QMenu(this);
    auto item = [this](const QString& symbol, const QString& text, auto slot) {
        QAction* action = symbolAction(symbol, text, filesMenu_);
        filesMenu_->addAction(action);
        connect(action, &QAction::triggered, this, slot);
    };
    item(QStringLiteral("folder"), QStringLiteral("Open Project\u2026"), [this] { model_.open(); });
    item(QStringLiteral("square.and.arrow.down"), QStringLiteral("Save Project"), [this] { model_.save(); });
    item(QStringLiteral("pianokeys.inverse"), QStringLiteral("Import MIDI\u2026"), [this] { model_.importMIDIFile(); });
    filesMenu_->addSeparator();
    item(QStringLiteral("waveform"), QStringLiteral("Export WAV\u2026"), [this] { model_.exportWAV(); });
    item(QStringLiteral("square.stack.3d.up"), QStringLiteral("Export Stems\u2026"), [this] { model_.exportStems(); });
    item(QStringLiteral("pianokeys"), QStringLiteral("Export MIDI\u2026"), [this] { model_.exportMIDI(); });

    files_ = symbolAction(QStringLiteral("folder"), QStringLiteral("Project Files"), this);
    files_->setToolTip(QStringLiteral("Open, save, import and export"));
    files_->setMenu(filesMenu_);
    addAction(files_);
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(files_))) button->setPopupMode(QToolButton::InstantPopup);

    undo_ = symbolAction(QStringLiteral("arrow.uturn.backward"), QStringLiteral("Undo"), this);
    connect(undo_, &QAction::triggered, this, [this] { model_.undo(); });
    addAction(undo_);
    redo_ = symbolAction(QStringLiteral("arrow.uturn.forward"), QStringLiteral("Redo"), this);
    connect(redo_, &QAction::triggered, this, [this] { model_.redo(); });
    addAction(redo_);
    help_ = symbolAction(QStringLiteral("questionmark.circle"), QStringLiteral("Tracker Help"), this);
    connect(help_, &QAction::triggered, this, &ProjectToolbar::helpRequested);
    addAction(help_);

    connect(&model, &AppModel::historyChanged, this, &ProjectToolbar::refresh);
    refresh();
}

void ProjectToolbar::refresh()
{
    undo_->setEnabled(model_.canUndo());
    redo_->setEnabled(model_.canRedo());
}

} // namespace veltrane
