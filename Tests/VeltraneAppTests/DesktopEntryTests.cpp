#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString text(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

// The desktop registration names our program in the menu entry and teaches the MIME database the
// project type, as the shared-mime-info tools build it.
TEST(DesktopEntry, RegistersTheProgramAndTheProjectFileType)
{
    if (QStandardPaths::findExecutable("update-mime-database").isEmpty())
        GTEST_SKIP() << "shared-mime-info is not installed";
    QTemporaryDir data;
    QProcess run;
    run.start("bash", {QStringLiteral(VELTRANE_TESTS_DIR "/../scripts/install-desktop-entry"), VELTRANE_EXECUTABLE,
                       data.path()});
    ASSERT_TRUE(run.waitForFinished(60'000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();

    const QString entry = text(data.filePath("applications/veltrane.desktop"));
    EXPECT_TRUE(entry.contains(QStringLiteral("Exec=\"%1\" %f").arg(QStringLiteral(VELTRANE_EXECUTABLE)))) << entry.toStdString();
    EXPECT_TRUE(entry.contains("MimeType=application/x-veltrane-project;"));
    EXPECT_TRUE(entry.contains("Type=Application"));

    const QString globs = text(data.filePath("mime/globs2"));
    EXPECT_TRUE(globs.contains("application/x-veltrane-project:*.veltrane")) << globs.toStdString();
    const QString parents = text(data.filePath("mime/subclasses"));
    EXPECT_TRUE(parents.contains("application/x-veltrane-project application/json")) << parents.toStdString();
}
