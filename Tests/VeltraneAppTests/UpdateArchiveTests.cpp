#include "UpdateReleaseSupport.hpp"
#include "UpdateTestSupport.hpp"

#include "Veltrane/Updates/UpdateArchive.hpp"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using veltrane::unpackUpdateArchive;

namespace {

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

} // namespace

TEST(UpdateArchive, UnpacksFoldersAndFilesKeepingTheProgramRunnable)
{
    QTemporaryDir root;
    const QString zip = root.filePath("release.zip");
    makeZip(zip, releaseEntries("Veltrane.app", "1.3", "/nowhere"));
    ASSERT_TRUE(QDir(root.path()).mkdir("out"));
    EXPECT_EQ(unpackUpdateArchive(zip, root.filePath("out"), 1 << 20), std::nullopt);
    EXPECT_EQ(everythingUnder(root.filePath("out")),
              QStringList({"Veltrane.app", "Veltrane.app/bundle-info.json", "Veltrane.app/share",
                           "Veltrane.app/share/notes.txt", "Veltrane.app/veltrane"}));
    EXPECT_TRUE(QFileInfo(root.filePath("out/Veltrane.app/veltrane")).isExecutable());
    EXPECT_FALSE(QFileInfo(root.filePath("out/Veltrane.app/bundle-info.json")).isExecutable());
    QFile notes(root.filePath("out/Veltrane.app/share/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::ReadOnly));
    EXPECT_EQ(notes.readAll(), "release 1.3");
}

TEST(UpdateArchive, RefusesTheseEntriesWithoutWritingAnything)
{
    const ArchiveEntry kRefused[] = {
        {"../escaped.txt", "x"},
        {"Veltrane.app/../../escaped.txt", "x"},
        {"/tmp/escaped.txt", "x"},
        {"./Veltrane.app/x", "x"},
        {"Veltrane.app//x", "x"},
        {"Veltrane.app\\..\\..\\escaped.txt", "x"},
        {"Veltrane.app/link", "/etc/passwd", S_IFLNK | 0777},
        {"Veltrane.app/device", "", S_IFCHR | 0644},
        {"Veltrane.app/disk", "", S_IFBLK | 0644},
        {"Veltrane.app/pipe", "", S_IFIFO | 0644},
        {"Veltrane.app/socket", "", S_IFSOCK | 0644},
    };
    for (const ArchiveEntry& refused : kRefused) {
        QTemporaryDir root;
        auto entries = releaseEntries("Veltrane.app", "1.3", "/nowhere");
        entries.push_back(refused); // the good entries come first: still nothing may be written
        const QString zip = root.filePath("release.zip");
        makeZip(zip, entries);
        ASSERT_TRUE(QDir(root.path()).mkpath("update/out"));
        EXPECT_NE(unpackUpdateArchive(zip, root.filePath("update/out"), 1 << 20), std::nullopt) << refused.name;
        EXPECT_EQ(everythingUnder(root.path()), QStringList({"release.zip", "update", "update/out"})) << refused.name;
    }
}

TEST(UpdateArchive, RefusesWhatIsNotAZipOrUnpacksPastTheCap)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("out"));
    QFile text(root.filePath("not.zip"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a zip file");
    text.close();
    EXPECT_NE(unpackUpdateArchive(text.fileName(), root.filePath("out"), 1 << 20), std::nullopt);

    const QString zip = root.filePath("big.zip");
    makeZip(zip, {{"Veltrane.app/", {}, S_IFDIR | 0755}, {"Veltrane.app/big", QByteArray(5000, 'a')}});
    EXPECT_NE(unpackUpdateArchive(zip, root.filePath("out"), 4999), std::nullopt);
    EXPECT_TRUE(QDir(root.filePath("out")).isEmpty());
    EXPECT_EQ(unpackUpdateArchive(zip, root.filePath("out"), 5000), std::nullopt);
}
