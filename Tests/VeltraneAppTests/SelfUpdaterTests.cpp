#include "LoopbackHttpServer.hpp"
#include "UpdateReleaseSupport.hpp"
#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/SelfUpdater.hpp"
#include "Veltrane/Updates/UpdateArchive.hpp"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using veltrane::ApplicationBundle;
using veltrane::SelfUpdater;
using veltrane::UpdateError;
using veltrane::UpdateFailure;
using veltrane::UpdateInfo;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

unsigned modeOf(const QString& path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

QStringList everythingUnder(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

// A temporary install root with version 1.0 installed in a folder whose path has a space, a private
// temporary folder for the updater, a server for the releases and a key pair of the test's own.
class SelfUpdate : public QtApplicationTest {
protected:
    void SetUp() override
    {
        QtApplicationTest::SetUp();
        ASSERT_TRUE(root.isValid());
        server = std::make_unique<LoopbackHttpServer>();
        ASSERT_TRUE(server->isListening());
        installed = root.filePath("Install Root/Veltrane");
        marker = root.filePath("started");
        makeZip(root.filePath("old.zip"), releaseEntries("Veltrane", "1.0", marker));
        ASSERT_TRUE(QDir().mkpath(root.filePath("Install Root")));
        ASSERT_TRUE(QDir().mkpath(root.filePath("tmp")));
        ASSERT_EQ(veltrane::unpackUpdateArchive(root.filePath("old.zip"), root.filePath("Install Root"), 1 << 20),
                  std::nullopt);
        QFile::remove(root.filePath("old.zip"));
        // The running application stands in as a process of the test's own that it ends when it likes.
        running.start("/bin/sleep", {"60"});
        ASSERT_TRUE(running.waitForStarted());
    }
    void TearDown() override
    {
        running.kill();
        running.waitForFinished();
        server.reset();
        QtApplicationTest::TearDown();
    }

    SelfUpdater::Options options() const
    {
        return {.bundle = ApplicationBundle{.path = installed, .executableName = "veltrane"},
                .processToAwait = running.processId(),
                .publicKey = keys.publicKey,
                .addressPolicy = {.allowPlainHttpOnLoopback = true},
                .temporaryFolder = root.filePath("tmp")};
    }

    /// Serves `archive` with the signature `signature` (the keys' own when not given) and announces `version`.
    UpdateInfo serve(const QByteArray& archive, const std::string& version, std::optional<QByteArray> signature = {})
    {
        server->answer("/Veltrane-1.3.zip", {.body = archive});
        server->answer("/Veltrane-1.3.zip.sig", {.body = signature.value_or(keys.sign(archive))});
        return {.version = version, .downloadURL = server->url("/Veltrane-1.3.zip").toString().toStdString()};
    }

    QByteArray release(const std::vector<ArchiveEntry>& entries)
    {
        return makeZip(root.filePath("release.zip"), entries);
    }

    std::optional<UpdateFailure> install(SelfUpdater& updater, const UpdateInfo& update)
    {
        std::optional<std::optional<UpdateFailure>> answer;
        updater.install(update, [&](std::optional<UpdateFailure> failure) { answer = failure; });
        EXPECT_FALSE(answer) << "the installer answers later, never inside the call";
        EXPECT_TRUE(runUntil([&] { return answer.has_value(); }));
        return answer.value_or(UpdateFailure{.systemMessage = "no answer"});
    }

    /// The install root is as it was: version 1.0, no backup beside it, nothing started.
    void expectUntouched()
    {
        EXPECT_EQ(contents(installed + "/share/notes.txt"), "release 1.0");
        EXPECT_EQ(everythingUnder(root.filePath("Install Root")),
                  QStringList({"Veltrane", "Veltrane/bundle-info.json", "Veltrane/share", "Veltrane/share/notes.txt",
                               "Veltrane/veltrane"}));
        EXPECT_FALSE(QFileInfo::exists(marker));
    }

    QTemporaryDir root;
    std::unique_ptr<LoopbackHttpServer> server;
    SigningKeys keys;
    QString installed;
    QString marker;
    QProcess running;
};

} // namespace

TEST_F(SelfUpdate, InstallsASignedReleaseAfterTheApplicationEndsAndStartsIt)
{
    SelfUpdater updater(options());
    const UpdateInfo update = serve(release(releaseEntries("Veltrane.app", "1.3", marker)), "1.3");
    EXPECT_EQ(install(updater, update), std::nullopt);

    // Folders and the script are the user's alone.
    const QFileInfo folder(updater.updateFolder());
    EXPECT_TRUE(folder.fileName().startsWith(QStringLiteral("tavix-veltrane-update-%1-").arg(getpid())));
    EXPECT_EQ(folder.absolutePath(), root.filePath("tmp"));
    EXPECT_EQ(modeOf(folder.absoluteFilePath()), 0700u);
    const QFileInfo script(updater.updateFolder() + QStringLiteral("/tavix-veltrane-update-%1.sh").arg(getpid()));
    ASSERT_TRUE(script.exists());
    EXPECT_EQ(modeOf(script.absoluteFilePath()), 0700u);

    // The swap waits for the application to end.
    QCoreApplication::processEvents();
    QThread::msleep(500);
    expectUntouched();

    running.kill();
    ASSERT_TRUE(runUntil([&] { return contents(marker) == "relaunched 1.3"; }));
    EXPECT_EQ(contents(installed + "/share/notes.txt"), "release 1.3");
    EXPECT_TRUE(QFileInfo(installed + "/veltrane").isExecutable());
    EXPECT_EQ(veltrane::applicationVersion(installed), "1.3");
    EXPECT_FALSE(QFileInfo::exists(installed + ".bak"));
}

TEST_F(SelfUpdate, ATamperedArchiveIsRefusedBeforeAnythingIsUnpacked)
{
    SelfUpdater updater(options());
    const QByteArray archive = release(releaseEntries("Veltrane.app", "1.3", marker));
    QByteArray tampered = archive;
    tampered[tampered.size() / 2] = char(tampered[tampered.size() / 2] ^ 0x01);
    const SigningKeys otherKeys;
    const struct {
        QByteArray archive;
        QByteArray signature;
    } kCases[] = {
        {tampered, keys.sign(archive)},
        {archive, otherKeys.sign(archive)},
        {archive, keys.sign(archive).left(63)},
        {archive, keys.sign(archive) + "x"},
        {archive, QByteArray()},
    };
    for (const auto& [served, signature] : kCases) {
        EXPECT_EQ(install(updater, serve(served, "1.3", signature)), UpdateFailure{UpdateError::badSignature});
        EXPECT_EQ(everythingUnder(updater.updateFolder()), QStringList({"update.zip"}));
    }
    expectUntouched();

    SelfUpdater keyless([&] {
        auto o = options();
        o.publicKey.clear();
        return o;
    }());
    EXPECT_EQ(install(keyless, serve(archive, "1.3")), UpdateFailure{UpdateError::badSignature});
    expectUntouched();
}

TEST_F(SelfUpdate, ASignedArchiveWithAnEntryOutsideItsFolderWritesNothing)
{
    const QStringList before = everythingUnder(root.path());
    SelfUpdater updater(options());
    for (const std::string name : {"../../escaped.txt", "Veltrane.app/../../../escaped.txt"}) {
        auto entries = releaseEntries("Veltrane.app", "1.3", marker);
        entries.push_back({name, "escaped"});
        EXPECT_EQ(install(updater, serve(release(entries), "1.3")), UpdateFailure{UpdateError::unpack}) << name;
        EXPECT_EQ(everythingUnder(updater.updateFolder()), QStringList({"unpacked", "update.zip"}));
    }
    // Outside the update folder, only the test's own archive was added.
    const QString folder = "tmp/" + QFileInfo(updater.updateFolder()).fileName();
    QStringList after;
    for (const QString& path : everythingUnder(root.path()))
        if (!path.startsWith(folder + "/"))
            after << path;
    QStringList expected = QStringList(before) << folder << "release.zip";
    expected.sort();
    EXPECT_EQ(after, expected);
    expectUntouched();
}

TEST_F(SelfUpdate, RefusesReleasesThatAreNotThisApplicationAtTheAnnouncedVersion)
{
    SelfUpdater updater(options());
    auto withoutProgram = releaseEntries("Veltrane.app", "1.3", marker);
    withoutProgram.erase(withoutProgram.begin() + 1);
    const struct {
        std::vector<ArchiveEntry> entries;
        std::string announced;
        std::optional<UpdateError> error;
    } kCases[] = {
        {releaseEntries("Veltrane.app", "1.3.0", marker), "1.3", UpdateError::wrongApp},
        {releaseEntries("Veltrane.app", "1.3", marker, "com.other.app"), "1.3", UpdateError::wrongApp},
        {withoutProgram, "1.3", UpdateError::wrongApp},
        {releaseEntries("Veltrane", "1.3", marker), "1.3", UpdateError::notFound},
        {releaseEntries("Release/Veltrane.app", "1.3", marker), "1.3", UpdateError::notFound},
    };
    for (const auto& [entries, announced, error] : kCases)
        EXPECT_EQ(install(updater, serve(release(entries), announced)), UpdateFailure{error}) << announced;
    expectUntouched();
}

TEST_F(SelfUpdate, DownloadFailuresLeaveAnEmptyUpdateFolderAndTheNextAttemptStartsAfresh)
{
    SelfUpdater updater(options());
    UpdateInfo missing{.version = "1.3", .downloadURL = server->url("/missing.zip").toString().toStdString()};
    EXPECT_EQ(install(updater, missing), UpdateFailure{UpdateError::download});
    const QString first = updater.updateFolder();
    EXPECT_TRUE(QFileInfo(first).isDir());
    EXPECT_EQ(everythingUnder(first), QStringList());

    const QByteArray archive = release(releaseEntries("Veltrane.app", "1.3", marker));
    server->answer("/Veltrane-1.3.zip", {.body = archive});
    server->answer("/Veltrane-1.3.zip.sig", {.status = 404});
    const UpdateInfo noSignature{.version = "1.3", .downloadURL = server->url("/Veltrane-1.3.zip").toString().toStdString()};
    EXPECT_EQ(install(updater, noSignature), UpdateFailure{UpdateError::download});
    EXPECT_FALSE(QFileInfo::exists(first)) << "the earlier attempt's folder is removed";

    auto capped = options();
    capped.maxArchiveBytes = archive.size() - 1;
    SelfUpdater small(capped);
    EXPECT_EQ(install(small, serve(archive, "1.3")), UpdateFailure{UpdateError::download});
    EXPECT_EQ(everythingUnder(small.updateFolder()), QStringList());

    const UpdateInfo plain{.version = "1.3", .downloadURL = "http://127.0.0.1:1/x.zip"};
    auto httpsOnly = options();
    httpsOnly.addressPolicy = {};
    SelfUpdater application(httpsOnly);
    EXPECT_EQ(install(application, plain), UpdateFailure{UpdateError::download});

    const UpdateInfo nobody{.version = "1.3", .downloadURL = "http://127.0.0.1:1/x.zip"};
    const auto failure = install(updater, nobody);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, std::nullopt) << "a refused connection is the system's own failure";
    EXPECT_FALSE(failure->systemMessage.isEmpty());
    expectUntouched();
}

TEST_F(SelfUpdate, RefusesAnInstallFolderThatIsNotAReplaceableFolderBeforeDownloading)
{
    for (const QString& path : {root.filePath("Install Root/missing"), installed + "/bundle-info.json", QString("/")}) {
        auto o = options();
        o.bundle.path = path;
        SelfUpdater updater(o);
        EXPECT_EQ(install(updater, serve("x", "1.3")), UpdateFailure{UpdateError::readOnlyLocation}) << path;
        EXPECT_EQ(updater.updateFolder(), QString());
    }
    EXPECT_EQ(server->connections(), 0);
}

TEST_F(SelfUpdate, RefusesAnInstallFolderInAFolderTheUserCannotWrite)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may write into any folder; the unwritable folder case needs an ordinary user";
    QFile::setPermissions(root.filePath("Install Root"), QFile::ReadOwner | QFile::ExeOwner);
    SelfUpdater updater(options());
    EXPECT_EQ(install(updater, serve("x", "1.3")), UpdateFailure{UpdateError::readOnlyLocation});
    EXPECT_EQ(server->connections(), 0);
    QFile::setPermissions(root.filePath("Install Root"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(SelfUpdaterBundle, TheFirstAppFolderInByteOrderIsTheNewBundle)
{
    QTemporaryDir root;
    for (const char* name : {"b.app", "C.app", "a.app.txt", "Z"})
        ASSERT_TRUE(QDir(root.path()).mkdir(name));
    QFile file(root.filePath("A.app"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)); // a file, not a bundle
    file.close();
    EXPECT_EQ(SelfUpdater::findNewBundle(root.path()), root.filePath("C.app"));
    EXPECT_EQ(SelfUpdater::findNewBundle(root.filePath("Z")), std::nullopt);
}
