#include "Veltrane/Updates/UpdateSignature.hpp"

#include <QFile>

#include <sodium.h>

namespace veltrane {

bool isValidDetachedSignature(const QString& filePath, const QByteArray& signature, const QByteArray& publicKey)
{
    if (signature.size() != kUpdateSignatureBytes || publicKey.size() != kUpdatePublicKeyBytes || sodium_init() < 0)
        return false;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An archive of a whole application is large: map it rather than copy it into memory.
    const qint64 size = file.size();
    const uchar* bytes = size > 0 ? file.map(0, size) : nullptr;
    if (size > 0 && !bytes)
        return false;
    const auto* message = bytes ? bytes : reinterpret_cast<const uchar*>("");
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()), message,
                                       static_cast<unsigned long long>(size),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData()))
        == 0;
}

} // namespace veltrane
