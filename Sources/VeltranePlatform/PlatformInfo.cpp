#include <sndfile.h>

namespace veltrane {
// The libsndfile version this build reads and writes audio files with.
const char* audioFileLibraryVersion() { return sf_version_string(); }
}
