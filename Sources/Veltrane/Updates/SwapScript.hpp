#pragma once

// The swap runs as a shell script after the application has quit, because a running program cannot
// replace the folder it runs from. It waits for the process to end, moves the installed folder aside as
// a backup, copies the new one into its place, and starts the program again.
//
// The installed application is never deleted unless a complete backup of it exists and the copy of the
// new one failed: the backup is made by renaming within the same folder, which is whole or nothing. When
// the old backup cannot be removed or the rename fails, nothing is touched. Removing the backup after a
// successful copy may fail without harm. The program is started again in every case: from the installed
// path, or from the backup if putting it back failed.

#include <QString>

#include <optional>

namespace veltrane {

/// The script's text for the process `processToAwait`. It takes three arguments: the new bundle's path,
/// the installed bundle's path, and the program's file name inside a bundle.
QString swapScriptText(qint64 processToAwait);

/// Writes the script as a new file at `scriptPath` (inside a folder private to the user) readable and
/// runnable by the user alone, and starts it with "/bin/sh", detached, so that it outlives the
/// application. Returns why it could not, or nothing.
std::optional<QString> launchSwap(const QString& scriptPath, const QString& newBundle, const QString& installedBundle,
                                  const QString& executableName, qint64 processToAwait);

} // namespace veltrane
