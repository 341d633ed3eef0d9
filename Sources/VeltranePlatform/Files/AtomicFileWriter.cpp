#include "VeltranePlatform/Files/AtomicFileWriter.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <random>

namespace veltrane {

namespace {

using Case = FileWriteError::Case;

constexpr std::string_view temporaryPrefix = ".veltrane-";
constexpr std::string_view temporarySuffix = ".tmp";
constexpr std::size_t temporaryRandomLength = 6;
// As many links as the system itself follows before it gives up.
constexpr int maximumLinkHops = 40;

std::string quoted(const std::string& text) { return "\u201C" + text + "\u201D"; }

/// The name the user knows the target by: its last component, or the whole path when it has none.
std::string displayName(const std::filesystem::path& target)
{
    const auto name = target.filename();
    if (!name.empty() && name != "." && name != "..") return quoted(name.string());
    auto trimmed = target.string();
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const auto folder = std::filesystem::path(trimmed).filename();
    return quoted(folder.empty() ? trimmed : folder.string());
}

std::string sentence(std::string text)
{
    if (!text.empty() && text.back() != '.') text.push_back('.');
    return text;
}

[[noreturn]] void raise(Case which, const std::filesystem::path& target, const std::string& message)
{
    throw FileWriteError(which, target, message);
}

[[noreturn]] void raiseWriteFailed(const std::filesystem::path& target, const std::string& why)
{
    raise(Case::writeFailed, target, sentence("The file " + displayName(target) + " could not be written: " + why));
}

std::filesystem::path folderOf(const std::filesystem::path& path)
{
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

/// The failure of creating or naming a file in `folder`, in the user's words.
[[noreturn]] void raiseSystemError(int error, const std::filesystem::path& target, const std::filesystem::path& folder)
{
    const std::string name = displayName(target);
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        raise(Case::folderMissing, target,
              "The file " + name + " cannot be written because its folder " + displayName(folder) + " does not exist.");
    case EACCES:
    case EPERM:
        raise(Case::notPermitted, target,
              "The file " + name + " cannot be written because there is no permission to write in the folder " +
                  displayName(folder) + ".");
    case EROFS:
        raise(Case::readOnly, target, "The file " + name + " cannot be written because its disk is read-only.");
    case ENAMETOOLONG:
        raise(Case::nameTooLong, target, "The name of the file " + name + " is too long for its disk.");
    case EISDIR:
        raise(Case::isFolder, target, "The item " + name + " is a folder, not a file, so it cannot be written.");
    default: raiseWriteFailed(target, std::strerror(error));
    }
}

/// The longest file name the folder's file system takes.
std::size_t longestName(const std::filesystem::path& folder)
{
    const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? static_cast<std::size_t>(longest) : NAME_MAX;
}

struct ResolvedTarget {
    /// Where the bytes go: the target, or the file its links lead to.
    std::filesystem::path path;
    bool exists = false;
    mode_t mode = 0;
};

/// Follows `target`'s links and decides whether the file at the end may be written, without creating
/// anything. Throws `FileWriteError` naming `target`.
ResolvedTarget resolveTarget(const std::filesystem::path& target)
{
    if (target.empty()) raise(Case::noName, target, "The file cannot be written because no file name was given.");
    const auto name = target.filename();
    if (name.empty() || name == "." || name == "..") {
        struct stat status {};
        if (::stat(target.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            raise(Case::isFolder, target,
                  "The item " + displayName(target) + " is a folder, not a file, so it cannot be written.");
        }
        raise(Case::noName, target,
              "The path " + quoted(target.string()) + " cannot be written because it names no file.");
    }

    std::filesystem::path current = target;
    for (int hop = 0; hop <= maximumLinkHops; ++hop) {
        const auto folder = folderOf(current);
        if (current.filename().native().size() > longestName(folder)) {
            raise(Case::nameTooLong, target,
                  "The name " + displayName(current) + " is too long: a file name can have at most " +
                      std::to_string(longestName(folder)) + " bytes.");
        }
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0) {
            const int error = errno;
            if (error != ENOENT) raiseSystemError(error, target, folder);
            struct stat folderStatus {};
            if (::stat(folder.c_str(), &folderStatus) != 0) raiseSystemError(errno, target, folder);
            if (!S_ISDIR(folderStatus.st_mode)) raiseSystemError(ENOTDIR, target, folder);
            return {current, false, 0};
        }
        if (S_ISLNK(status.st_mode)) {
            std::error_code error;
            const auto destination = std::filesystem::read_symlink(current, error);
            if (error) raiseWriteFailed(target, error.message());
            current = destination.is_absolute() ? destination : folder / destination;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            raise(Case::isFolder, target,
                  "The item " + displayName(target) + " is a folder, not a file, so it cannot be written.");
        }
        if (!S_ISREG(status.st_mode)) {
            raise(Case::notAFile, target,
                  "The item " + displayName(target) +
                      " is not a regular file (it is a device, a pipe or a socket), so it is not replaced.");
        }
        // A file without any write permission is one the user has locked, whoever runs this program;
        // one that only another user may write is read-only for this one.
        if ((status.st_mode & 0222) == 0 || (::access(current.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS))) {
            raise(Case::readOnly, target, "The file " + displayName(target) + " is read-only, so it is not replaced.");
        }
        return {current, true, status.st_mode};
    }
    raiseWriteFailed(target, std::strerror(ELOOP));
}

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

std::string randomTemporaryName()
{
    static constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string name(temporaryPrefix);
    for (std::size_t i = 0; i < temporaryRandomLength; ++i) name.push_back(alphabet[pick(generator)]);
    name += temporarySuffix;
    return name;
}

bool isTemporaryName(std::string_view name)
{
    if (name.size() != temporaryPrefix.size() + temporaryRandomLength + temporarySuffix.size()) return false;
    if (!name.starts_with(temporaryPrefix) || !name.ends_with(temporarySuffix)) return false;
    for (const char c : name.substr(temporaryPrefix.size(), temporaryRandomLength)) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

/// Gives the unnamed file open at `descriptor` the name `path`; false with errno set when it cannot.
bool linkUnnamedFile(int descriptor, const std::filesystem::path& path)
{
    const std::string own = "/proc/self/fd/" + std::to_string(descriptor);
    if (::linkat(AT_FDCWD, own.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    // Without /proc mounted, linking the descriptor itself works for a process allowed to.
    const int procError = errno;
    if (::linkat(descriptor, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != EEXIST) errno = procError;
    return false;
}

void syncFolder(const std::filesystem::path& folder) noexcept
{
    // Makes the new name itself durable; a folder that cannot be opened or synced loses only that.
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    ::fsync(descriptor);
    ::close(descriptor);
}

} // namespace

void removeStaleTemporaryFiles(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, std::filesystem::directory_options::skip_permission_denied, error);
    if (error) return;
    for (auto entry = entries; entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        if (error) return;
        const auto path = entry->path();
        if (!isTemporaryName(path.filename().native())) continue;
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (descriptor < 0) continue;
        // A writer holds a lock on its temporary file for as long as it lives, and the system drops the
        // lock of a killed one: a file nobody holds is left over. The name is checked to still be that
        // file once the lock is ours.
        struct stat held {};
        struct stat named {};
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && ::fstat(descriptor, &held) == 0 && S_ISREG(held.st_mode) &&
            ::lstat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
            ::unlink(path.c_str());
        }
        ::close(descriptor);
    }
}

void AtomicFileWriter::checkTarget(const std::filesystem::path& target) { resolveTarget(target); }

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target, FileAccess access)
    : target_(std::move(target)), access_(access)
{
    const ResolvedTarget resolved = resolveTarget(target_);
    folder_ = folderOf(resolved.path);
    removeStaleTemporaryFiles(folder_);

    // An unnamed file in the target's folder: on the same disk, so it can take the target's name, and
    // invisible until it does.
    const mode_t createMode = access_ == FileAccess::privateToUser ? 0600 : 0666; // the umask applies
    descriptor_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, createMode);
    if (descriptor_ < 0) {
        const int error = errno;
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) raiseSystemError(error, target_, folder_);
        std::string temporary = (folder_ / (std::string(temporaryPrefix) + std::string(temporaryRandomLength, 'X') +
                                            std::string(temporarySuffix))).string();
        descriptor_ = ::mkostemps(temporary.data(), static_cast<int>(temporarySuffix.size()), O_CLOEXEC); // mode 0600
        if (descriptor_ < 0) raiseSystemError(errno, target_, folder_);
        namedTemporary_ = std::move(temporary);
        if (access_ == FileAccess::document && !resolved.exists) ::fchmod(descriptor_, 0666 & ~currentUmask());
    }
    // Held until the writer is gone, so no other writer takes the file for a killed one's leftover.
    ::flock(descriptor_, LOCK_EX);
    if (access_ == FileAccess::document && resolved.exists) ::fchmod(descriptor_, resolved.mode & 07777);
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::discard() noexcept
{
    if (!namedTemporary_.empty()) ::unlink(namedTemporary_.c_str());
    namedTemporary_.clear();
    if (descriptor_ >= 0) ::close(descriptor_);
    descriptor_ = -1;
}

void AtomicFileWriter::fail(const std::string& why)
{
    discard();
    raiseWriteFailed(target_, why);
}

void AtomicFileWriter::write(std::span<const std::byte> bytes)
{
    if (descriptor_ < 0) fail("the file is already closed");
    const auto* cursor = reinterpret_cast<const char*>(bytes.data());
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor_, cursor, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(std::strerror(errno));
        }
        cursor += written;
        left -= static_cast<std::size_t>(written);
    }
}

void AtomicFileWriter::commit()
{
    if (descriptor_ < 0) fail("the file is already closed");
    // The bytes reach the disk before the name does: after a power cut the target is the old file or
    // the whole new one.
    if (::fsync(descriptor_) != 0) fail(std::strerror(errno));

    ResolvedTarget resolved;
    try {
        resolved = resolveTarget(target_);
    } catch (const FileWriteError&) {
        discard();
        throw;
    }
    const auto folder = folderOf(resolved.path);

    if (!namedTemporary_.empty()) {
        if (::rename(namedTemporary_.c_str(), resolved.path.c_str()) != 0) {
            const int error = errno;
            discard();
            raiseSystemError(error, target_, folder);
        }
        namedTemporary_.clear();
    } else if (resolved.exists || !linkUnnamedFile(descriptor_, resolved.path)) {
        // A name cannot be linked over an existing file: the file gets a short name of its own first and
        // is then renamed over the target in one step. That name lives for a moment only, and the next
        // writer here removes it should this process be killed in that moment.
        if (!resolved.exists && errno != EEXIST) {
            const int error = errno;
            discard();
            raiseSystemError(error, target_, folder);
        }
        std::filesystem::path named;
        for (int attempt = 0;; ++attempt) {
            named = folder / randomTemporaryName();
            if (linkUnnamedFile(descriptor_, named)) break;
            if (errno != EEXIST || attempt == 100) {
                const int error = errno;
                discard();
                raiseSystemError(error, target_, folder);
            }
        }
        if (::rename(named.c_str(), resolved.path.c_str()) != 0) {
            const int error = errno;
            ::unlink(named.c_str());
            discard();
            raiseSystemError(error, target_, folder);
        }
    }
    syncFolder(folder);
    ::close(descriptor_);
    descriptor_ = -1;
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, FileAccess access)
{
    AtomicFileWriter file(target, access);
    file.write(bytes);
    file.commit();
}

} // namespace veltrane
