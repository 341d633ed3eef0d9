#include "Veltrane/Updates/UpdateCommands.hpp"

#include "Veltrane/Updates/UpdateSettings.hpp"

#include <QPointer>
#include <QSettings>
#include <QTimer>

namespace veltrane {

namespace {
QString text(const std::string& s) { return QString::fromStdString(s); }
} // namespace

UpdateCommands::UpdateCommands(Services services, std::string version, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_version(std::move(version))
{
}

void UpdateCommands::checkForUpdate()
{
    QPointer<UpdateCommands> self(this);
    m_services.checker.check(m_version, [self](UpdateCheckResult result) {
        if (!self || result.outcome == UpdateCheckOutcome::failed)
            return;
        self->setAvailableUpdate(result.update);
        if (!result.update || self->updateIsUnsafe())
            return;
        const QVariant declined = self->m_services.settings.value(kPromptedVersionKey);
        if (declined.isValid() && declined.toString() == text(result.update->version))
            return;
        self->promptForUpdate();
    });
}

void UpdateCommands::checkForUpdatesManually()
{
    if (m_isUpdating || m_isCheckingForUpdate)
        return;
    setChecking(true);
    QPointer<UpdateCommands> self(this);
    m_services.checker.check(m_version, [self](UpdateCheckResult result) {
        if (!self)
            return;
        self->setChecking(false);
        switch (result.outcome) {
        case UpdateCheckOutcome::failed:
            // A check that could not be made must not claim there is nothing newer.
            self->m_services.dialogs->inform(
                QStringLiteral("Couldn't check for updates"),
                QStringLiteral("Veltrane couldn't find out whether a newer version is available. Try again later."));
            return;
        case UpdateCheckOutcome::upToDate:
            self->setAvailableUpdate(std::nullopt);
            self->m_services.dialogs->inform(
                QStringLiteral("You're up to date"),
                QStringLiteral("Veltrane %1 is the latest version.").arg(text(self->m_version)));
            return;
        case UpdateCheckOutcome::updateAvailable:
            // The remembered "Later" does not apply here: the user asked.
            self->setAvailableUpdate(result.update);
            self->promptForUpdate();
            return;
        }
    });
}

void UpdateCommands::promptForUpdate()
{
    if (!m_availableUpdate || m_isUpdating || updateIsUnsafe())
        return;
    const std::string version = m_availableUpdate->version;
    const auto choice = m_services.dialogs->askToUpdate(
        QStringLiteral("A new version of Veltrane is available"),
        QStringLiteral("Version %1 is ready. Veltrane will update itself and relaunch.").arg(text(version)));
    if (choice == UpdateDialogs::Choice::updateNow)
        installUpdate();
    else
        m_services.settings.setValue(kPromptedVersionKey, text(version));
}

void UpdateCommands::installUpdate()
{
    // The dialog ran an event loop: the state may have changed while it was open.
    if (!m_availableUpdate || m_isUpdating || updateIsUnsafe())
        return;
    setUpdating(true);
    QPointer<UpdateCommands> self(this);
    m_services.installer.install(
        *m_availableUpdate, [self, dialogs = m_services.dialogs, quit = m_services.quitApplication](
                                std::optional<UpdateFailure> failure) {
            if (!failure) {
                // The swap script waits for the application to end; the update stays marked as running,
                // so a cancelled quit starts no second check, prompt or install.
                if (self)
                    self->quitWhenIdle();
                else if (quit)
                    quit();
                return;
            }
            if (self)
                self->setUpdating(false);
            if (failure->error == UpdateError::readOnlyLocation)
                dialogs->inform(QStringLiteral("Move Veltrane to a folder you own"),
                                QStringLiteral("Veltrane can update itself after it has been moved to a folder you "
                                               "can write to, such as one in your home folder."));
            else
                dialogs->inform(QStringLiteral("Update failed"),
                                QStringLiteral("Couldn't install the update. Download the latest version from %1.")
                                    .arg(updateDownloadPage()));
        });
}

void UpdateCommands::quitWhenIdle()
{
    // An export or a recording started while the update downloaded is let finish first.
    if (!updateIsUnsafe()) {
        if (m_services.quitApplication)
            m_services.quitApplication();
        return;
    }
    if (m_quitWait)
        return;
    m_quitWait = new QTimer(this);
    m_quitWait->setInterval(kIdlePollMilliseconds);
    connect(m_quitWait, &QTimer::timeout, this, [this] {
        if (updateIsUnsafe())
            return;
        m_quitWait->deleteLater();
        m_quitWait = nullptr;
        if (m_services.quitApplication)
            m_services.quitApplication();
    });
    m_quitWait->start();
}

void UpdateCommands::setAvailableUpdate(std::optional<UpdateInfo> update)
{
    if (update == m_availableUpdate)
        return;
    m_availableUpdate = std::move(update);
    emit availableUpdateChanged();
}

void UpdateCommands::setUpdating(bool updating)
{
    if (updating == m_isUpdating)
        return;
    m_isUpdating = updating;
    emit isUpdatingChanged();
}

void UpdateCommands::setChecking(bool checking)
{
    if (checking == m_isCheckingForUpdate)
        return;
    m_isCheckingForUpdate = checking;
    emit isCheckingForUpdateChanged();
}

} // namespace veltrane
