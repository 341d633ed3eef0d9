#pragma once

// Unpacking an update archive. Every entry is checked before a single byte is written: only plain files
// and folders with relative names that stay inside the destination are taken. An absolute name, a ".."
// or "." step, an empty step, a backslash, a symbolic link, a device, a pipe or a socket, an encrypted
// entry, or more bytes than the cap refuses the whole archive.

#include <QString>

#include <optional>

namespace veltrane {

/// Unpacks the zip file into `destination`, a folder that exists and is empty. Returns nothing on
/// success, or why the archive was refused; a refused archive writes nothing, and one that fails while
/// writing writes only inside `destination`.
std::optional<QString> unpackUpdateArchive(const QString& archivePath, const QString& destination,
                                           qint64 maxUnpackedBytes);

} // namespace veltrane
