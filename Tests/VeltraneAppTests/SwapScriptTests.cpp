#include "UpdateReleaseSupport.hpp"

#include "Veltrane/Updates/SwapScript.hpp"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

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
// `tools` replaces commands the script runs (rm, cp, mv) with shell scripts of the test's own.
void runSwap(const QString& folder, const QString& newBundle, const QString& installed,
             const std::map<QString, QByteArray>& tools = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!tools.empty()) {
        const QString bin = QDir(folder).filePath("tools");
        ASSERT_TRUE(QDir().mkpath(bin));
        for (const auto& [name, text] : tools) {
            QFile tool(QDir(bin).filePath(name));
            ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
            tool.write("#!/bin/sh\n" + text + "\n");
            tool.close();
            tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        environment.insert("PATH", bin + ":/usr/bin:/bin");
    }
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
    shell.setProcessEnvironment(environment);
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

// Each step that can fail, made to fail by a stand-in for the tool: the installed program survives and is
// started in every case, from its own place or, when it cannot be put back, from the backup.
TEST(SwapScript, EveryFailingStepKeepsTheInstalledProgramAndStartsOne)
{
    const QByteArray kFail = "exit 1";
    const QByteArray kPartialCopy = "mkdir -p \"$4\" && echo partial > \"$4/data.txt\"; exit 1";
    const QByteArray kMoveOnlyToBackup = "case \"$3\" in *.bak) exec /bin/mv \"$@\";; esac; exit 1";
    const struct {
        const char* what;
        std::map<QString, QByteArray> tools;
        bool staleBackup;
        QByteArray started;
        QByteArray installedData; // empty: nothing at the installed path
        QByteArray backupData;    // empty: no backup left
    } kCases[] = {
        {"the backup cannot be removed after the copy", {{"rm", kFail}}, false, "new", "new", "old"},
        {"an old backup cannot be removed", {{"rm", kFail}}, true, "old", "old", "stale"},
        {"the copy fails part way", {{"cp", kPartialCopy}}, false, "old", "old", ""},
        {"the copy fails and the backup cannot be moved back", {{"cp", kPartialCopy}, {"mv", kMoveOnlyToBackup}},
         false, "old", "", "old"},
    };
    for (const auto& c : kCases) {
        QTemporaryDir root;
        const QString installed = root.filePath("Veltrane");
        const QString marker = root.filePath("started");
        makeBundle(installed, marker, "old");
        makeBundle(root.filePath("new/Veltrane.app"), marker, "new");
        if (c.staleBackup)
            makeBundle(installed + ".bak", root.filePath("unused"), "stale");
        runSwap(root.path(), root.filePath("new/Veltrane.app"), installed, c.tools);
        EXPECT_EQ(contents(marker), c.started) << c.what;
        EXPECT_EQ(contents(installed + "/data.txt"), c.installedData) << c.what;
        EXPECT_EQ(contents(installed + ".bak/data.txt"), c.backupData) << c.what;
    }
}
