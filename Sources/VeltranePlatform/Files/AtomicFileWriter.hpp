#pragma once

// The one way a file the user owns is written (a project, the autosave, an exported WAV file): the
// bytes go to an unnamed temporary file in the target's folder, reach the disk, and only `commit` gives
// them the target's name. A reader, or the next start after a crash, finds the old file or the whole new
// one, never a part, and a write that is abandoned, fails or is killed leaves nothing behind: the
// temporary file has no name until the commit.
//
//     AtomicFileWriter file("/home/me/Song.veltrane");   // checks the target first
//     file.write(bytes);                                  // as often as needed
//     file.commit();                                      // now the target holds the new bytes
//
//     writeFileAtomically("/home/me/Song.veltrane", bytes);   // the same in one call
//
// Targets: a symbolic link is written through, to the file it points at, and stays a link. A folder, a
// device, a pipe, a socket or a read-only file is refused before anything is written, and again at the
// commit; so is an empty path or one ending in "/". Every failure is a `FileWriteError` whose message
// names the file.
//
// Where the file system has no unnamed temporary files, the temporary file is named ".veltrane-XXXXXX.tmp"
// in the target's folder; such files left by a killed write are removed by the next writer in that folder.
// Owner thread only; every call blocks on the disk.

#include <cstddef>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltrane {

/// A file that cannot be written. `what()` is the message shown to the user; it names the file.
class FileWriteError : public std::runtime_error {
public:
    enum class Case {
        /// The path is empty or ends in "/": there is no file name to write to.
        noName,
        /// The name is longer than the file system allows.
        nameTooLong,
        /// The folder the file would go in does not exist.
        folderMissing,
        /// The path names a folder.
        isFolder,
        /// The path names something that is not a regular file: a device, a pipe or a socket.
        notAFile,
        /// The file is read-only.
        readOnly,
        /// The system refused to create a file in the folder (permissions).
        notPermitted,
        /// Writing, flushing or naming the file failed (a full disk, an input/output error).
        writeFailed,
    };

    FileWriteError(Case which, std::filesystem::path path, const std::string& message)
        : std::runtime_error(message), which_(which), path_(std::move(path))
    {
    }

    Case which() const noexcept { return which_; }
    /// The target as the caller gave it.
    const std::filesystem::path& path() const noexcept { return path_; }

private:
    Case which_;
    std::filesystem::path path_;
};

enum class FileAccess {
    /// Readable as the user's umask allows (a document); a file that is replaced keeps its permissions.
    document,
    /// Readable and writable by the user alone (the autosave).
    privateToUser,
};

class AtomicFileWriter {
public:
    /// Throws `FileWriteError` when `target` cannot be written as a file (see the cases); creates nothing.
    /// Cheap: a caller about to spend minutes producing the bytes asks first.
    static void checkTarget(const std::filesystem::path& target);

    /// Checks the target and creates the temporary file. Throws `FileWriteError`.
    explicit AtomicFileWriter(std::filesystem::path target, FileAccess access = FileAccess::document);
    /// Discards the temporary file unless `commit` succeeded.
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    /// Appends bytes. Throws `FileWriteError` (`writeFailed`); the writer is then spent.
    void write(std::span<const std::byte> bytes);
    void write(std::string_view bytes) { write(std::as_bytes(std::span(bytes.data(), bytes.size()))); }

    /// The temporary file's descriptor (open for reading and writing), for a library that writes
    /// through one itself; it stays the writer's to close.
    int descriptor() const noexcept { return descriptor_; }

    /// Flushes the bytes to the disk and puts them at the target, whole. Checks the target again: one
    /// changed into something that must not be replaced while the bytes were made is refused. Throws
    /// `FileWriteError`; the target is then untouched and the writer spent. Only once.
    void commit();

    /// Discards the temporary file and throws `writeFailed` with `why` ("the disk is full"), for a
    /// library writing through `descriptor()` that failed.
    [[noreturn]] void fail(const std::string& why);

    const std::filesystem::path& target() const noexcept { return target_; }

private:
    void discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path folder_;
    FileAccess access_;
    int descriptor_ = -1;
    std::string namedTemporary_; // only where the file system has no unnamed temporary files
};

/// Writes `bytes` to `target` through an `AtomicFileWriter`. Throws `FileWriteError`; the target is
/// unchanged then.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         FileAccess access = FileAccess::document);

/// Removes the temporary files that killed writers left in `folder` where the file system has no
/// unnamed temporary files; a temporary file a live writer holds is kept. Every writer does this in its
/// target's folder.
void removeStaleTemporaryFiles(const std::filesystem::path& folder);

} // namespace veltrane
