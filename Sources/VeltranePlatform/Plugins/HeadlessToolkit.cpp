#include "VeltranePlatform/Plugins/HeadlessToolkit.hpp"

#include <cstdlib>
#include <mutex>

namespace veltrane::detail {

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

void chooseDisplayLessToolkitWithoutDisplay()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // With a display, or a platform already chosen (the application's own, a test's), nothing
        // changes. A process with a display-less platform of its own has already read the variable.
        if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM"))
            return;
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    });
}

} // namespace veltrane::detail
