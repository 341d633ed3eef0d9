#pragma once

// The update commands of the application: the check at launch, the check the user asks for, the prompt
// with its remembered "Later", and the install that quits the application so the new version can take
// its place. They keep updates away from moments when quitting would lose work: the application tells
// them through `isBusy` whether it plays, prepares playback, exports or records.
//
// The application model owns one and forwards its menu actions to it; the window shows the dialogs.

#include "Veltrane/Updates/SelfUpdater.hpp"
#include "Veltrane/Updates/UpdateChecker.hpp"
#include "VeltraneCore/Updater/UpdateInfo.hpp"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSettings;
class QTimer;

namespace veltrane {

/// The modal dialogs the commands show.
class UpdateDialogs {
public:
    enum class Choice { updateNow, later };
    virtual ~UpdateDialogs() = default;
    /// Asks with the buttons "Update Now" (first, the default) and "Later"; closing the dialog is "Later".
    virtual Choice askToUpdate(const QString& message, const QString& informativeText) = 0;
    /// Tells the user something, with one "OK" button.
    virtual void inform(const QString& message, const QString& informativeText) = 0;
};

class UpdateCommands final : public QObject {
    Q_OBJECT
public:
    /// The settings key of the last announced version the user answered with "Later".
    static constexpr auto kPromptedVersionKey = "tavix.veltrane.updatePromptedVersion";

    struct Services {
        UpdateChecking& checker;
        UpdateInstalling& installer;
        std::shared_ptr<UpdateDialogs> dialogs; // shared: an install's failure is shown even after the commands are gone
        QSettings& settings;
        std::function<bool()> isBusy;       // playing, preparing playback, exporting or recording
        std::function<void()> quitApplication; // the normal quit path, with its unsaved-changes question
    };

    /// `version` is the running application's version ("Development" for a build without one).
    UpdateCommands(Services services, std::string version, QObject* parent = nullptr);

    const std::optional<UpdateInfo>& availableUpdate() const { return m_availableUpdate; }
    bool isUpdating() const { return m_isUpdating; }
    bool isCheckingForUpdate() const { return m_isCheckingForUpdate; }
    const std::string& version() const { return m_version; }

    /// The check at launch: prompts for a newer version unless the application is busy or the user
    /// answered "Later" to that version before. A failed check changes nothing and says nothing.
    void checkForUpdate();
    /// "Check for Updates…": tells the user the result, whether up to date, an update, or that the check
    /// could not be made. Ignored while a check it started runs or an update installs.
    void checkForUpdatesManually();
    /// How often a quit that waits for the application to be idle looks again.
    static constexpr int kIdlePollMilliseconds = 250;

    /// "Update to …": asks whether to install the available update now.
    void promptForUpdate();

signals:
    void availableUpdateChanged();
    void isUpdatingChanged();
    void isCheckingForUpdateChanged();

private:
    void installUpdate();
    /// Quits at once when the application is idle, else as soon as it is.
    void quitWhenIdle();
    void setAvailableUpdate(std::optional<UpdateInfo> update);
    void setUpdating(bool updating);
    void setChecking(bool checking);
    bool updateIsUnsafe() const { return m_services.isBusy && m_services.isBusy(); }

    Services m_services;
    std::string m_version;
    std::optional<UpdateInfo> m_availableUpdate;
    bool m_isUpdating = false;
    bool m_isCheckingForUpdate = false;
    QTimer* m_quitWait = nullptr;
};

} // namespace veltrane
