#include "UpdateReleaseSupport.hpp"

#include "Veltrane/Updates/SwapScript.hpp"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using veltrane::swapScriptText;

namespace {

// Builds a bundle folder at `path` with a program that writes `text` into `marker`.
void makeBundle(const QString& path, const QString& marker, const QString& text)
{
    ASSERT_TRUE(QDir().mkpath(path));
    QFile program(QDir(path).filePath("veltrane"));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write(stubProgram(marker, text));
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile data(QDir(path).filePath("data.txt"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(text.toUtf8());
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

// Runs the script to its end, for a process that has already ended.
void runSwap(const QString& folder, const QString& newBundle, const QString& installed)
{
    QProcess finished;
    finished.start("/bin/true");
    ASSERT_TRUE(finished.waitForStarted());
    const qint64 ended = finished.processId();
    ASSERT_TRUE(finished.waitForFinished());
    QFile script(QDir(folder).filePath("swap.sh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(swapScriptText(ended).toUtf8());
    script.close();
    QProcess shell;
    shell.start("/bin/sh", {script.fileName(), newBundle, installed, "veltrane"});
    ASSERT_TRUE(shell.waitForFinished(10'000));
}

} // namespace

TEST(SwapScript, ReplacesTheInstalledFolderAndStartsTheNewProgram)
{
    QTemporaryDir root;
    const QString installed = root.filePath("My Apps/Veltrane");
    const QString marker = root.filePath("started");
    makeBundle(installed, marker, "old");
    makeBundle(root.filePath("new bundle/Veltrane.app"), marker, "new");
    runSwap(root.path(), root.filePath("new bundle/Veltrane.app"), installed);
    EXPECT_EQ(contents(marker), "new");
    EXPECT_EQ(contents(installed + "/data.txt"), "new");
    EXPECT_FALSE(QFileInfo::exists(installed + ".bak"));
    EXPECT_TRUE(QFileInfo(installed + "/veltrane").isExecutable());
}

TEST(SwapScript, AFailedCopyPutsTheInstalledFolderBackAndStartsIt)
{
    QTemporaryDir root;
    const QString installed = root.filePath("My Apps/Veltrane");
    const QString marker = root.filePath("started");
    makeBundle(installed, marker, "old");
    runSwap(root.path(), root.filePath("missing/Veltrane.app"), installed);
    EXPECT_EQ(contents(marker), "old");
    EXPECT_EQ(contents(installed + "/data.txt"), "old");
    EXPECT_FALSE(QFileInfo::exists(installed + ".bak"));
}

TEST(SwapScript, AnOldBackupThatCannotBeRemovedLeavesTheInstalledFolderAlone)
{
    QTemporaryDir root;
    const QString installed = root.filePath("Veltrane");
    const QString marker = root.filePath("started");
    makeBundle(installed, marker, "old");
    makeBundle(root.filePath("Veltrane.app"), marker, "new");
    // A backup path that is a folder inside a folder the script cannot change: only root gets past that.
    if (geteuid() == 0)
        GTEST_SKIP() << "root removes any backup; the case needs an ordinary user";
    ASSERT_TRUE(QDir().mkpath(installed + ".bak/locked/inner"));
    QFile::setPermissions(installed + ".bak/locked", QFile::ReadOwner | QFile::ExeOwner);
    runSwap(root.path(), root.filePath("Veltrane.app"), installed);
    QFile::setPermissions(installed + ".bak/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(contents(marker), "old");
    EXPECT_EQ(contents(installed + "/data.txt"), "old");
}
