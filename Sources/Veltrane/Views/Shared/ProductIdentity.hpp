#pragma once

// The names and web addresses the help sheet and the settings window show: the product's full title with
// the maker's brand, and the maker's own site. The product's pages come from the model.

#include <QString>
#include <QUrl>

namespace veltrane {

inline QString productFullTitle() { return QStringLiteral("Tavix Veltrane"); }
inline QString makerName() { return QStringLiteral("Tavix"); }
inline QUrl makerWebsite() { return QUrl(QStringLiteral("https://tavix.app/")); }

} // namespace veltrane
