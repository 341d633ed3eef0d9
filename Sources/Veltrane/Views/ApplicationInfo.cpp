#include "VeltraneVersion.hpp"

#include <QString>

namespace veltrane {
QString applicationDisplayVersion() { return QStringLiteral("Veltrane %1").arg(QString::fromUtf8(kVeltraneVersion)); }
}
