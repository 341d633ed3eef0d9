// Any bytes given to decodeProject must end in a project or in a ProjectError whose message is a short
// line of valid UTF-8: never a crash, a hang, another exception or undefined behaviour (the fuzz build
// runs with the address and undefined behaviour sanitizers). A project that does read must also survive being written and read again
// unchanged, so the reader and the writer cannot drift apart.
//
//     make fuzz
//     build-fuzz/Fuzz/ProjectDecoderFuzzer -dict=Tests/Fixtures/Fuzz/ProjectDecoder/project.dict \
//         -max_total_time=240 Fuzz/corpus-project Tests/Fixtures/Fuzz/ProjectDecoder/corpus Tests/Fixtures/ProjectFile
//
// Keep every input it reports in Tests/Fixtures/Fuzz/ProjectDecoder/regressions/: the core tests read
// them all on every run.

#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/Text/Utf8.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace veltrane;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Project project;
    try {
        project = decodeProject(bytes);
    } catch (const ProjectError& error) {
        const std::string_view message = error.what();
        if (message.size() >= 1024) std::abort();
        for (std::size_t position = 0; position < message.size();) {
            if (decodeUtf8(message, position) > 0x10FFFF) std::abort();
        }
        return 0;
    }
    if (!(decodeProject(encodeProject(project)) == project)) std::abort();
    return 0;
}
