#pragma once

// Writes a whole file so that a reader, or the next start after a crash, finds either the old file or
// the new one, never a part: the bytes go to a temporary file beside the target, reach the disk, and
// the temporary file is then renamed over the target.

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace veltrane {

/// A file that could not be written; `what()` is the message for the user.
class FileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class FileAccess {
    /// Readable as the user's umask allows (a document); an existing target keeps its permissions.
    document,
    /// Readable and writable by the user alone (the autosave).
    privateToUser,
};

/// Writes `bytes` to `target` through a temporary file and a rename. Throws `FileWriteError`; the target
/// is unchanged then.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         FileAccess access = FileAccess::document);

/// The first half of an atomic write, for a writer that decides only at the end whether the new bytes
/// replace the target: they are on disk beside it, under a temporary name, until `commit()` renames them
/// over the target. Dropped uncommitted, the temporary file is removed.
class PendingFile {
public:
    /// Throws `FileWriteError`.
    PendingFile(std::filesystem::path target, std::string_view bytes, FileAccess access);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Renames the new bytes over the target. Throws `FileWriteError`.
    void commit();

private:
    std::filesystem::path target_;
    std::string temporary_;
};

} // namespace veltrane
