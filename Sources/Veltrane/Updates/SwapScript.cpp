#include "Veltrane/Updates/SwapScript.hpp"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace veltrane {

QString swapScriptText(qint64 processToAwait)
{
    return QStringLiteral(R"(#!/bin/sh
new="$1"
installed="$2"
program="$3"
backup="$installed.bak"
launch="$installed"
while kill -0 %1 2>/dev/null; do sleep 0.2; done
rm -rf "$backup" 2>/dev/null
if [ ! -e "$backup" ] && [ ! -L "$backup" ] && mv -T "$installed" "$backup" 2>/dev/null; then
    if cp -a -T "$new" "$installed" 2>/dev/null; then
        rm -rf "$backup" 2>/dev/null
    else
        rm -rf "$installed" 2>/dev/null
        mv -T "$backup" "$installed" 2>/dev/null || launch="$backup"
    fi
fi
exec "$launch/$program" </dev/null >/dev/null 2>&1
)")
        .arg(processToAwait);
}

std::optional<QString> launchSwap(const QString& scriptPath, const QString& newBundle, const QString& installedBundle,
                                  const QString& executableName, qint64 processToAwait)
{
    // "kill -0" of 0 or a negative number asks about a whole process group, which never ends.
    if (processToAwait <= 0)
        return QStringLiteral("no process to wait for");
    const QByteArray path = QFile::encodeName(scriptPath);
    const QByteArray text = swapScriptText(processToAwait).toUtf8();
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (file < 0)
        return QStringLiteral("%1: %2").arg(scriptPath, QString::fromLocal8Bit(std::strerror(errno)));
    const bool written = ::write(file, text.constData(), std::size_t(text.size())) == text.size();
    if (::close(file) != 0 || !written)
        return QStringLiteral("%1: the script could not be written").arg(scriptPath);
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), {scriptPath, newBundle, installedBundle, executableName}))
        return QStringLiteral("/bin/sh could not be started");
    return std::nullopt;
}

} // namespace veltrane
