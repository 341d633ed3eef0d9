#pragma once

// Installs an announced update over the running application: checks that the install folder can be
// replaced, downloads the archive and its detached signature into a folder private to the user, checks
// the signature against the public key before unpacking anything, unpacks, finds the new bundle and
// checks that it is this application at the announced version, then starts the swap script. After a
// successful install the caller quits the application; the script waits for that.

#include "Veltrane/Updates/ApplicationBundle.hpp"
#include "Veltrane/Updates/UpdateSettings.hpp"
#include "VeltraneCore/Updater/UpdateInfo.hpp"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace veltrane {

enum class UpdateError {
    download,         // the archive or its signature was not answered with status 200, or is too large
    unpack,           // the archive cannot be read, or holds an entry it may not
    notFound,         // no folder named "*.app" at the archive's top level
    badSignature,     // the signature is missing, malformed, or not the key's signature of the archive
    wrongApp,         // the new bundle is another application, another version, or lacks its program
    readOnlyLocation, // the installed folder cannot be replaced by this user
};

/// Why an install failed: one of the cases above, or a failure of the system itself (network, files,
/// starting the script), described in `systemMessage`.
struct UpdateFailure {
    std::optional<UpdateError> error;
    QString systemMessage;
    friend bool operator==(const UpdateFailure&, const UpdateFailure&) = default;
};

/// What the update commands need of an installer; the tests answer it from a script.
class UpdateInstalling {
public:
    virtual ~UpdateInstalling() = default;
    /// Calls `done` once, later, on the main thread: with nothing when the swap script is running.
    virtual void install(const UpdateInfo& update, std::function<void(std::optional<UpdateFailure>)> done) = 0;
};

/// What an updater works on. The defaults are the running application's; tests give their own.
struct SelfUpdaterOptions {
    ApplicationBundle bundle = ApplicationBundle::running();
    qint64 processToAwait = QCoreApplication::applicationPid();
    // The key is fixed when the application is built; a test builds its updater with a key of its own.
    // Nothing read at run time (no variable, no file) can change it.
    QByteArray publicKey = builtInUpdatePublicKey();
    UpdateAddressPolicy addressPolicy;
    QString temporaryFolder = QDir::tempPath();
    qint64 maxArchiveBytes = 1024LL * 1024 * 1024;
    qint64 maxUnpackedBytes = 4LL * 1024 * 1024 * 1024;
};

class SelfUpdater final : public QObject, public UpdateInstalling {
    Q_OBJECT
public:
    using Options = SelfUpdaterOptions;

    explicit SelfUpdater(Options options = Options(), QObject* parent = nullptr);
    ~SelfUpdater() override;

    /// Main thread. Unpacking and checking run on a worker thread; `done` comes back on the main thread.
    void install(const UpdateInfo& update, std::function<void(std::optional<UpdateFailure>)> done) override;

    /// The folder of the last attempt ("tavix-veltrane-update-" with the process and a random suffix, mode
    /// 0700); empty before the first. The next attempt removes it.
    QString updateFolder() const { return m_updateFolder; }

    /// Whether this user can replace the folder: it is on a writable file system and the folder holding
    /// it is writable.
    static bool isReplaceableLocation(const QString& bundlePath);

    /// The first folder, in byte order of names, at the top of `unpackedFolder` whose name ends in ".app".
    static std::optional<QString> findNewBundle(const QString& unpackedFolder);

    /// Whether the bundle is this application at `expectedVersion` (exactly) with its program in place.
    static bool hasIdentity(const QString& bundlePath, const std::string& expectedVersion, const QString& executableName);

private:
    void fail(std::optional<UpdateError> error, QString systemMessage = {});
    void downloadSignature(const UpdateInfo& update);
    void unpackAndLaunch(const UpdateInfo& update, const QByteArray& signature);

    Options m_options;
    QNetworkAccessManager* m_network;
    QString m_updateFolder;
    std::function<void(std::optional<UpdateFailure>)> m_done;
    class QFile* m_archive = nullptr;
};

} // namespace veltrane
