#include "Veltrane/Updates/UpdateSettings.hpp"

#include <QtGlobal>

// The build passes these three; the defaults keep a build without them harmless: the reserved ".example"
// host never answers, and without a key nothing is ever installed.
#ifndef VELTRANE_UPDATE_MANIFEST_URL
#define VELTRANE_UPDATE_MANIFEST_URL "https://updates.tavix.example/veltrane/latest.json"
#endif
#ifndef VELTRANE_UPDATE_DOWNLOAD_PAGE
#define VELTRANE_UPDATE_DOWNLOAD_PAGE "tavix.example/veltrane"
#endif
#ifndef VELTRANE_UPDATE_PUBLIC_KEY
#define VELTRANE_UPDATE_PUBLIC_KEY ""
#endif

namespace veltrane {

UpdateEndpoint UpdateEndpoint::forApplication()
{
    const QByteArray overridden = qgetenv("VELTRANE_UPDATE_MANIFEST_URL");
    const QString address = overridden.isEmpty() ? QStringLiteral(VELTRANE_UPDATE_MANIFEST_URL)
                                                 : QString::fromUtf8(overridden);
    return {.manifest = QUrl(address, QUrl::StrictMode), .policy = {}};
}

QString updateDownloadPage() { return QStringLiteral(VELTRANE_UPDATE_DOWNLOAD_PAGE); }

QByteArray builtInUpdatePublicKey()
{
    const QByteArray key = QByteArray::fromHex(QByteArrayLiteral(VELTRANE_UPDATE_PUBLIC_KEY));
    return key.size() == 32 ? key : QByteArray();
}

} // namespace veltrane
