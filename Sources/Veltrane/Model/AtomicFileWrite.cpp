#include "Veltrane/Model/AtomicFileWrite.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrane {

namespace {

/// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

[[noreturn]] void fail(const std::filesystem::path& target, int error)
{
    throw FileWriteError("The file \u201C" + target.filename().string() + "\u201D could not be saved: " +
                         std::strerror(error) + ".");
}

} // namespace

PendingFile::PendingFile(std::filesystem::path target, std::string_view bytes, FileAccess access)
    : target_(std::move(target))
{
    const auto folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data()); // mode 0600
    if (fd < 0) fail(target_, errno);

    auto abandon = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(target_, error);
    };

    if (access == FileAccess::document) {
        struct stat existing {};
        const mode_t mode = ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777)
                                                                    : (0666 & ~currentUmask());
        if (::fchmod(fd, mode) != 0) abandon(errno);
    }

    const char* cursor = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, cursor, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        cursor += written;
        left -= static_cast<std::size_t>(written);
    }
    // The bytes reach the disk before the name does: after a power cut the target is the old file or the
    // whole new one.
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail(target_, error);
    }
    temporary_ = std::move(temporary);
}

PendingFile::~PendingFile()
{
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void PendingFile::commit()
{
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(target_, errno);
    temporary_.clear();
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, FileAccess access)
{
    PendingFile file(target, bytes, access);
    file.commit();
}

} // namespace veltrane
