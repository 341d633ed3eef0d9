#include "VeltraneVersion.hpp"

namespace veltrane {
const char* veltraneVersion() { return kVeltraneVersion; }
}
