#pragma once

#include <QByteArray>
#include <QString>

namespace veltrane {

inline constexpr int kUpdateSignatureBytes = 64; // a detached Ed25519 signature
inline constexpr int kUpdatePublicKeyBytes = 32;

/// Whether `signature` is the detached Ed25519 signature of the whole file under `publicKey`. A key or
/// signature of the wrong length, or a file that cannot be read, is never valid.
bool isValidDetachedSignature(const QString& filePath, const QByteArray& signature, const QByteArray& publicKey);

} // namespace veltrane
