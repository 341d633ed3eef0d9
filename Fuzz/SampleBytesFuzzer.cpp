// Decodes arbitrary bytes as a sample embedded in a project: the bytes come from whatever file the user
// opens and are read from memory through libsndfile's virtual I/O, so the seek and read callbacks meet
// every offset a damaged header can ask for.
//
//     make fuzz
//     build-fuzz/Fuzz/SampleBytesFuzzer -max_total_time=240 Fuzz/corpus-sample-bytes \
//         Tests/Fixtures/Fuzz/SampleFile/corpus
//
// The corpus (tiny WAV, AIFF, CAF, FLAC and Ogg files) is written by build-fuzz/Fuzz/FuzzCorpus. Keep every
// input it reports in Tests/Fixtures/Fuzz/SampleFile/regressions/: the platform tests read them all.

#include "SampleFuzzCheck.hpp"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    veltrane::fuzz::checkDecodedSample([&] { return veltrane::AudioFile::read(std::span(data, size)); });
    return 0;
}
