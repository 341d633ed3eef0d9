#include "Veltrane/Updates/ApplicationBundle.hpp"

#include "VeltraneCore/Updater/BundleIdentity.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace veltrane {

namespace {
constexpr qint64 kMaxBundleInfoBytes = 64 * 1024;
}

ApplicationBundle ApplicationBundle::running()
{
    const QFileInfo executable(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget());
    return {.path = QDir::cleanPath(executable.absolutePath()), .executableName = executable.fileName()};
}

std::optional<BundleIdentity> readBundleIdentity(const QString& bundlePath)
{
    QFile file(QDir(bundlePath).filePath(QString::fromUtf8(kBundleInfoFileName.data(), kBundleInfoFileName.size())));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBundleInfoBytes)
        return std::nullopt;
    const QByteArray text = file.read(kMaxBundleInfoBytes);
    return parseBundleIdentity(std::string_view(text.constData(), std::size_t(text.size())));
}

std::string applicationVersion(const QString& bundlePath)
{
    const auto identity = readBundleIdentity(bundlePath);
    return identity && identity->version ? *identity->version : std::string(kDevelopmentVersion);
}

} // namespace veltrane
