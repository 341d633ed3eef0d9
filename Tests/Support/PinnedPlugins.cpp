// Every test program loads plug-ins from the test build's own LV2 path (a folder holding only the
// mda-lv2 bundle), set before main so that every plug-in host the tests make, and every program they
// start, sees the same plug-ins whether ctest or a person runs them.

#include <cstdlib>

namespace {

const bool pinned = [] {
    ::setenv("LV2_PATH", VELTRANE_TEST_LV2_PATH, 1);
    return true;
}();

} // namespace
