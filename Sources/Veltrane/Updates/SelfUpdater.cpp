#include "Veltrane/Updates/SelfUpdater.hpp"

#include "Veltrane/Updates/SwapScript.hpp"
#include "Veltrane/Updates/UpdateArchive.hpp"
#include "Veltrane/Updates/UpdateDownload.hpp"
#include "Veltrane/Updates/UpdateSignature.hpp"
#include "VeltraneCore/Updater/BundleIdentity.hpp"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace veltrane {

namespace {

constexpr qint64 kMaxSignatureDownloadBytes = 1024;

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

// What the worker thread hands back: the new bundle, or why there is none.
struct CheckedBundle {
    std::optional<QString> bundle;
    std::optional<UpdateError> error;
    QString systemMessage;
};

CheckedBundle unpackAndCheck(const QString& folder, const QString& archive, const QByteArray& signature,
                             const QByteArray& publicKey, qint64 maxUnpackedBytes, const std::string& version,
                             const QString& executableName)
{
    // Nothing of the archive is unpacked, or even opened as a zip, until its signature holds.
    if (!isValidDetachedSignature(archive, signature, publicKey))
        return {.error = UpdateError::badSignature};
    const QString unpacked = folder + QStringLiteral("/unpacked");
    if (::mkdir(QFile::encodeName(unpacked).constData(), 0700) != 0)
        return {.systemMessage = unpacked + QStringLiteral(": ") + systemError()};
    if (unpackUpdateArchive(archive, unpacked, maxUnpackedBytes))
        return {.error = UpdateError::unpack};
    const auto bundle = SelfUpdater::findNewBundle(unpacked);
    if (!bundle)
        return {.error = UpdateError::notFound};
    if (!SelfUpdater::hasIdentity(*bundle, version, executableName))
        return {.error = UpdateError::wrongApp};
    return {.bundle = bundle};
}

} // namespace

SelfUpdater::SelfUpdater(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_network(new QNetworkAccessManager(this))
{
}

SelfUpdater::~SelfUpdater() = default;

bool SelfUpdater::isReplaceableLocation(const QString& bundlePath)
{
    const QFileInfo bundle(bundlePath);
    if (!bundle.isDir() || bundle.isRoot())
        return false;
    struct statvfs volume;
    const QByteArray path = QFile::encodeName(bundle.absoluteFilePath());
    if (::statvfs(path.constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return false;
    return ::access(QFile::encodeName(bundle.absolutePath()).constData(), W_OK) == 0;
}

std::optional<QString> SelfUpdater::findNewBundle(const QString& unpackedFolder)
{
    QFileInfoList entries = QDir(unpackedFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName().toUtf8() < b.fileName().toUtf8(); });
    for (const QFileInfo& entry : entries)
        if (entry.fileName().endsWith(QStringLiteral(".app")) && entry.isDir() && !entry.isSymLink())
            return entry.absoluteFilePath();
    return std::nullopt;
}

bool SelfUpdater::hasIdentity(const QString& bundlePath, const std::string& expectedVersion, const QString& executableName)
{
    const auto identity = readBundleIdentity(bundlePath);
    if (!identity || identity->identifier != std::string(kApplicationIdentifier) || identity->version != expectedVersion)
        return false;
    const QFileInfo program(QDir(bundlePath).filePath(executableName));
    return !executableName.isEmpty() && program.isFile() && !program.isSymLink() && program.isExecutable();
}

void SelfUpdater::fail(std::optional<UpdateError> error, QString systemMessage)
{
    if (m_archive) {
        // A failed download leaves nothing behind in the update folder.
        m_archive->close();
        m_archive->remove();
        m_archive->deleteLater();
        m_archive = nullptr;
    }
    auto done = std::exchange(m_done, nullptr);
    if (!done)
        return;
    // Every answer comes later, never inside the caller's own call to install.
    QMetaObject::invokeMethod(
        this, [done, failure = UpdateFailure{error, std::move(systemMessage)}] { done(failure); }, Qt::QueuedConnection);
}

void SelfUpdater::install(const UpdateInfo& update, std::function<void(std::optional<UpdateFailure>)> done)
{
    if (m_done) {
        QMetaObject::invokeMethod(
            this, [done] { done(UpdateFailure{.systemMessage = QStringLiteral("An update is already being installed.")}); },
            Qt::QueuedConnection);
        return;
    }
    m_done = std::move(done);
    if (!isReplaceableLocation(m_options.bundle.path))
        return fail(UpdateError::readOnlyLocation);

    // A fresh folder of random name and mode 0700 for each attempt; the previous attempt's goes first.
    if (!m_updateFolder.isEmpty())
        QDir(m_updateFolder).removeRecursively();
    m_updateFolder.clear();
    QByteArray pattern = QFile::encodeName(QDir(m_options.temporaryFolder).filePath(
        QStringLiteral("tavix-veltrane-update-%1-XXXXXX").arg(QCoreApplication::applicationPid())));
    if (!::mkdtemp(pattern.data()))
        return fail(std::nullopt, QFile::decodeName(pattern) + QStringLiteral(": ") + systemError());
    m_updateFolder = QFile::decodeName(pattern);

    if (!isAcceptedUpdateAddress(update.downloadURL, m_options.addressPolicy))
        return fail(UpdateError::download);
    m_archive = new QFile(m_updateFolder + QStringLiteral("/update.zip"), this);
    if (!m_archive->open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(std::nullopt, m_archive->errorString());
    downloadWithLimit(*m_network, QUrl(QString::fromStdString(update.downloadURL), QUrl::StrictMode),
                      {.maxBytes = m_options.maxArchiveBytes}, m_archive, this, [this, update](DownloadResult result) {
                          using Outcome = DownloadResult::Outcome;
                          if (result.outcome == Outcome::notOK || result.outcome == Outcome::tooLarge)
                              return fail(UpdateError::download);
                          if (result.outcome != Outcome::completed)
                              return fail(std::nullopt, result.errorText);
                          m_archive->close();
                          if (m_archive->error() != QFileDevice::NoError)
                              return fail(std::nullopt, m_archive->errorString());
                          m_archive->deleteLater();
                          m_archive = nullptr;
                          downloadSignature(update);
                      });
}

void SelfUpdater::downloadSignature(const UpdateInfo& update)
{
    // The detached signature lies beside the archive, under the archive's address followed by ".sig".
    const QUrl address(QString::fromStdString(update.downloadURL + ".sig"), QUrl::StrictMode);
    downloadWithLimit(*m_network, address, {.maxBytes = kMaxSignatureDownloadBytes}, nullptr, this,
                      [this, update](DownloadResult result) {
                          using Outcome = DownloadResult::Outcome;
                          if (result.outcome == Outcome::notOK || result.outcome == Outcome::tooLarge)
                              return fail(UpdateError::download);
                          if (result.outcome != Outcome::completed)
                              return fail(std::nullopt, result.errorText);
                          unpackAndLaunch(update, result.body);
                      });
}

void SelfUpdater::unpackAndLaunch(const UpdateInfo& update, const QByteArray& signature)
{
    QPointer<SelfUpdater> self(this);
    QThreadPool::globalInstance()->start([self, folder = m_updateFolder, signature, options = m_options,
                                          version = update.version] {
        CheckedBundle checked = unpackAndCheck(folder, folder + QStringLiteral("/update.zip"), signature, options.publicKey,
                                               options.maxUnpackedBytes, version, options.bundle.executableName);
        // The application object outlives every updater; the updater may not, so it is looked up there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, checked = std::move(checked)] {
                if (!self)
                    return;
                if (!checked.bundle)
                    return self->fail(checked.error, checked.systemMessage);
                const Options& options = self->m_options;
                const QString script = self->m_updateFolder
                    + QStringLiteral("/tavix-veltrane-update-%1.sh").arg(QCoreApplication::applicationPid());
                if (auto failure = launchSwap(script, *checked.bundle, options.bundle.path, options.bundle.executableName,
                                              options.processToAwait))
                    return self->fail(std::nullopt, *failure);
                auto done = std::exchange(self->m_done, nullptr);
                done(std::nullopt);
            },
            Qt::QueuedConnection);
    });
}

} // namespace veltrane
