// Reads arbitrary bytes as a sample file from a path, the way a bookmarked sample is loaded: through the
// descriptor checks and libsndfile's own file I/O. The file lives in a private folder made once per run.
//
//     make fuzz
//     build-fuzz/Fuzz/SampleFileFuzzer -max_total_time=240 Fuzz/corpus-sample-file \
//         Tests/Fixtures/Fuzz/SampleFile/corpus
//
// Keep every input it reports in Tests/Fixtures/Fuzz/SampleFile/regressions/.

#include "SampleFuzzCheck.hpp"

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path privateFolder;

void removeFolder() { std::filesystem::remove_all(privateFolder); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path parent = runtime && *runtime ? std::filesystem::path(runtime)
                                                             : std::filesystem::temp_directory_path();
    std::string pattern = (parent / "veltrane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    privateFolder = pattern;
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto path = privateFolder / "sample";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) std::abort();
    }
    veltrane::fuzz::checkDecodedSample([&] { return veltrane::AudioFile::read(path); });
    return 0;
}
