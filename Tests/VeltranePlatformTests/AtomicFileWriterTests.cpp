#include "AudioFileTestSupport.hpp"

#include "VeltranePlatform/Files/AtomicFileWriter.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::string text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const std::filesystem::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode;
}

} // namespace

TEST(AtomicFileWriter, WritesANewFileAndReplacesAnOldOneWhole)
{
    TemporaryFolder folder;
    writeFileAtomically(folder / "Song.veltrane", "first");
    EXPECT_EQ(text(folder / "Song.veltrane"), "first");

    AtomicFileWriter file(folder / "Song.veltrane");
    file.write("second, ");
    file.write("in two parts");
    EXPECT_EQ(text(folder / "Song.veltrane"), "first") << "nothing changes before the commit";
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Song.veltrane"}) << "the temporary file has no name";
    file.commit();
    EXPECT_EQ(text(folder / "Song.veltrane"), "second, in two parts");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Song.veltrane"});
}

TEST(AtomicFileWriter, HostileTargetsAreRefusedByNameAndLeftAsTheyWere)
{
    TemporaryFolder folder;
    put(folder / "locked.veltrane", "old bytes");
    ::chmod((folder / "locked.veltrane").c_str(), 0444);
    ::mkfifo((folder / "pipe.veltrane").c_str(), 0644);
    std::filesystem::create_directory(folder / "Folder.veltrane");
    put(folder / "Folder.veltrane" / "inside", "kept");
    const bool madeDevice = ::mknod((folder / "device.veltrane").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const std::string longName = std::string(252, 'n') + ".wav"; // 256 bytes

    using Case = FileWriteError::Case;
    struct Target { std::filesystem::path path; Case expected; std::string named; };
    std::vector<Target> targets = {
        {folder / "locked.veltrane", Case::readOnly, "\u201Clocked.veltrane\u201D is read-only"},
        {folder / "pipe.veltrane", Case::notAFile, "\u201Cpipe.veltrane\u201D is not a regular file"},
        {folder / "Folder.veltrane", Case::isFolder, "\u201CFolder.veltrane\u201D is a folder"},
        {folder.path().string() + "/Folder.veltrane/", Case::isFolder, "\u201CFolder.veltrane\u201D is a folder"},
        {folder / longName, Case::nameTooLong, "\u201C" + longName + "\u201D is too long"},
        {"", Case::noName, "no file name was given"},
        {folder / "missing" / "Song.veltrane", Case::folderMissing, "\u201CSong.veltrane\u201D cannot be written because its folder \u201Cmissing\u201D does not exist"},
    };
    if (madeDevice) targets.push_back({folder / "device.veltrane", Case::notAFile, "\u201Cdevice.veltrane\u201D is not a regular file"});
    const auto before = namesIn(folder.path());

    for (const auto& target : targets) {
        for (const bool checkOnly : {true, false}) {
            try {
                if (checkOnly) {
                    AtomicFileWriter::checkTarget(target.path);
                } else {
                    writeFileAtomically(target.path, "new bytes");
                }
                ADD_FAILURE() << target.path << " was accepted";
            } catch (const FileWriteError& error) {
                EXPECT_EQ(error.which(), target.expected) << error.what();
                EXPECT_NE(std::string(error.what()).find(target.named), std::string::npos) << error.what();
                EXPECT_EQ(error.path(), target.path);
            }
        }
    }
    EXPECT_EQ(namesIn(folder.path()), before) << "nothing was added or removed";
    EXPECT_EQ(text(folder / "locked.veltrane"), "old bytes");
    EXPECT_EQ(modeOf(folder / "locked.veltrane") & 07777, 0444u);
    EXPECT_TRUE(S_ISFIFO(modeOf(folder / "pipe.veltrane")));
    EXPECT_EQ(text(folder / "Folder.veltrane" / "inside"), "kept");
    if (madeDevice) {
        EXPECT_TRUE(S_ISCHR(modeOf(folder / "device.veltrane")));
    }
}

TEST(AtomicFileWriter, ALinkIsWrittenThroughToTheFileItPointsAt)
{
    TemporaryFolder folder;
    std::filesystem::create_directory(folder / "real");
    put(folder / "real" / "Song.veltrane", "old");
    std::filesystem::create_symlink("real/Song.veltrane", folder / "Song.veltrane");
    std::filesystem::create_symlink(folder / "real" / "Fresh.veltrane", folder / "Fresh.veltrane"); // dangling

    writeFileAtomically(folder / "Song.veltrane", "new");
    writeFileAtomically(folder / "Fresh.veltrane", "fresh");

    EXPECT_TRUE(std::filesystem::is_symlink(folder / "Song.veltrane"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "Fresh.veltrane"));
    EXPECT_EQ(text(folder / "real" / "Song.veltrane"), "new");
    EXPECT_EQ(text(folder / "real" / "Fresh.veltrane"), "fresh");
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"Fresh.veltrane", "Song.veltrane", "real"}));
    EXPECT_EQ(namesIn(folder / "real"), (std::vector<std::string>{"Fresh.veltrane", "Song.veltrane"}));

    // A link to something that must not be replaced is refused as that thing would be.
    std::filesystem::create_symlink("/dev/null", folder / "null.wav");
    EXPECT_THROW(writeFileAtomically(folder / "null.wav", "x"), FileWriteError);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

TEST(AtomicFileWriter, NamesUpToTheLongestTheDiskAllowsAreWritten)
{
    TemporaryFolder folder;
    for (std::size_t length = 249; length <= 255; ++length) {
        const std::string name = std::string(length - 4, 'a' + static_cast<char>(length - 249)) + ".wav";
        writeFileAtomically(folder / name, name); // a new file
        writeFileAtomically(folder / name, "again"); // a replaced one
        EXPECT_EQ(text(folder / name), "again") << length;
    }
    EXPECT_EQ(namesIn(folder.path()).size(), 7u);
}

TEST(AtomicFileWriter, NewFilesFollowTheUmaskOrStayPrivateAndReplacedOnesKeepTheirMode)
{
    TemporaryFolder folder;
    const mode_t mask = ::umask(022);
    writeFileAtomically(folder / "document", "d");
    writeFileAtomically(folder / "autosave", "a", FileAccess::privateToUser);
    put(folder / "shared", "s");
    ::chmod((folder / "shared").c_str(), 0664);
    writeFileAtomically(folder / "shared", "t");
    ::umask(mask);
    EXPECT_EQ(modeOf(folder / "document") & 07777, 0644u);
    EXPECT_EQ(modeOf(folder / "autosave") & 07777, 0600u);
    EXPECT_EQ(modeOf(folder / "shared") & 07777, 0664u);
}

TEST(AtomicFileWriter, ATargetThatBecameReadOnlyDuringTheWriteIsNotReplaced)
{
    TemporaryFolder folder;
    put(folder / "mix.wav", "old");
    AtomicFileWriter file(folder / "mix.wav");
    file.write("new");
    ::chmod((folder / "mix.wav").c_str(), 0444);
    try {
        file.commit();
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const FileWriteError& error) {
        EXPECT_EQ(error.which(), FileWriteError::Case::readOnly) << error.what();
    }
    EXPECT_EQ(text(folder / "mix.wav"), "old");
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"mix.wav"});
}

TEST(AtomicFileWriter, AWriteKilledHalfwayLeavesTheOldFileAndNothingElse)
{
    TemporaryFolder folder;
    put(folder / "mix.wav", "old");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child writes a good part of a file, says so, and waits to be killed.
        try {
            AtomicFileWriter file(folder / "mix.wav");
            const std::string block(1 << 20, 'x');
            for (int i = 0; i < 8; ++i) file.write(block);
            const char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) ::_exit(2);
            for (;;) ::pause();
        } catch (...) {
            ::_exit(1);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    const bool wrote = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(wrote) << "the child could not write";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"mix.wav"});
    EXPECT_EQ(text(folder / "mix.wav"), "old");
}

TEST(AtomicFileWriter, TemporaryFilesOfKilledWritersAreRemovedAndThoseOfLiveOnesKept)
{
    // Where the disk has no unnamed files, a writer's temporary file has a name, and the writer holds a
    // lock on it for its life.
    TemporaryFolder folder;
    put(folder / ".veltrane-Ab12Cd.tmp", std::string(4096, 'x')); // left by a killed writer
    put(folder / ".veltrane-Live01.tmp", "being written");
    put(folder / ".veltrane-notes.txt", "the user's own");
    put(folder / ".veltrane-toolong1.tmp", "not one of ours");
    const int live = ::open((folder / ".veltrane-Live01.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    writeFileAtomically(folder / "Song.veltrane", "song");
    ::close(live);

    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{".veltrane-Live01.tmp", ".veltrane-notes.txt",
                                                                ".veltrane-toolong1.tmp", "Song.veltrane"}));
}
