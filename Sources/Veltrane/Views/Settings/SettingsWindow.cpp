#include "Veltrane/Views/Settings/SettingsWindow.hpp"

#include "Veltrane/Model/AppModel.hpp"
#include "Veltrane/Views/Shared/Controls.hpp"
#include "Veltrane/Views/Shared/ProductIdentity.hpp"
#include "Veltrane/Views/Shared/Theme.hpp"

#include <QAction>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltrane {

SettingsWindow::SettingsWindow(AppModel& model, QWidget* parent) : QDialog(parent)
{
    const Theme& theme = Theme::current();
    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(QStringLiteral("Veltrane Settings"));
    openLink = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    auto* about = new QGroupBox(QStringLiteral("About"), this);
    title_ = new QLabel(productFullTitle() + QLatin1Char(' ') + QString::fromStdString(model.version()), about);
    title_->setFont(theme.interface(13));
    maker_ = makeLinkButton(QStringLiteral("Made by %1").arg(makerName()), theme.interface(11), about);
    feedback_ = makeLinkButton(QStringLiteral("Send feedback"), theme.interface(13), about);
    website_ = makeLinkButton(QStringLiteral("Website"), theme.interface(13), about);
    connect(maker_, &QPushButton::clicked, this, [this] { openLink(makerWebsite()); });
    connect(feedback_, &QPushButton::clicked, this, [this, &model] { openLink(model.feedbackURL()); });
    connect(website_, &QPushButton::clicked, this, [this, &model] { openLink(model.websiteURL()); });

    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(title_);
    names->addWidget(maker_, 0, Qt::AlignLeft);
    auto* row = new QHBoxLayout(about);
    row->setContentsMargins(12, 10, 12, 10);
    row->addLayout(names);
    row->addStretch(1);
    row->addWidget(feedback_, 0, Qt::AlignVCenter);
    row->addSpacing(8);
    row->addWidget(website_, 0, Qt::AlignVCenter);

    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(20, 20, 20, 20);
    form->addWidget(about);
    // The width is fixed and the height follows the content.
    form->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(windowWidth);
    setMaximumWidth(windowWidth);
    about->setFixedWidth(windowWidth - 40);
}

QAction* addSettingsCommand(QMainWindow& window, AppModel& model)
{
    QMenu* edit = nullptr;
    for (QAction* entry : window.menuBar()->actions())
        if (entry->menu() && entry->text().remove(QLatin1Char('&')) == QStringLiteral("Edit")) edit = entry->menu();
    if (!edit) edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addSeparator();
    QAction* command = edit->addAction(QStringLiteral("Settings\u2026"));
    command->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    command->setMenuRole(QAction::PreferencesRole);
    auto shown = std::make_shared<QPointer<SettingsWindow>>();
    QObject::connect(command, &QAction::triggered, &window, [&window, &model, shown] {
        if (!*shown) *shown = new SettingsWindow(model, &window);
        (*shown)->show();
        (*shown)->raise();
        (*shown)->activateWindow();
    });
    return command;
}

} // namespace veltrane
