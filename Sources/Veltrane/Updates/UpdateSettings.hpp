#pragma once

// The update settings the application is built with: where it looks for the maker's manifest, the
// download page it names when an install fails, and the public key releases are signed with.

#include "VeltraneCore/Updater/WebAddress.hpp"

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace veltrane {

/// Where the update manifest is fetched from, and which addresses the check and the install accept.
struct UpdateEndpoint {
    QUrl manifest;
    UpdateAddressPolicy policy;

    /// The build's manifest address, or the one in the environment variable VELTRANE_UPDATE_MANIFEST_URL
    /// when it is set. Either way only https is accepted: the variable can point the check at another
    /// server but cannot lower the bar an update must pass.
    static UpdateEndpoint forApplication();
};

/// The page named in the install failure message, written without a scheme.
QString updateDownloadPage();

/// The Ed25519 public key (32 bytes) built into the application; empty when the build names none, in
/// which case every update is refused as badly signed.
QByteArray builtInUpdatePublicKey();

} // namespace veltrane
