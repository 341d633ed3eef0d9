#pragma once

// The installed application is the folder its executable stands in: the self-installer replaces that
// folder as a whole, and its bundle information file says which application and version it holds.

#include <QString>

#include <optional>
#include <string>

namespace veltrane {

struct BundleIdentity;

struct ApplicationBundle {
    QString path;           // the install folder, absolute and clean
    QString executableName; // the program's file name inside it, started again after an update

    /// The folder of the running executable.
    static ApplicationBundle running();
};

/// The bundle information of the folder; nothing when the file is missing, unreadable or not an object.
std::optional<BundleIdentity> readBundleIdentity(const QString& bundlePath);

/// The version the bundle declares, or "Development" when it declares none.
std::string applicationVersion(const QString& bundlePath);

} // namespace veltrane
