// Feeds arbitrary bytes to the Standard MIDI File reader. A refusal (MIDIImportError) is a correct
// answer; anything else that escapes, a sanitizer report, or a pattern outside the model's bounds is a
// fault. Regression inputs live in Tests/Fixtures/Fuzz/MIDIImport/.

#include "VeltraneCore/MIDIImport/MIDIImport.hpp"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto imported = veltrane::importMIDI(std::span(data, size), 4);
        const auto& pattern = imported.pattern;
        const bool bounded = pattern.rows >= 1 && pattern.rows <= 256 && pattern.channels >= 1 && pattern.channels <= 16
                             && pattern.hasConsistentGrid() && imported.bpm >= 20 && imported.bpm <= 400;
        if (!bounded) std::abort();
        for (int row = 0; row < pattern.rows; ++row) {
            for (const auto& cell : pattern.cells.row(row)) {
                if (cell.note) {
                    if (auto pitch = veltrane::pitchOf(*cell.note); pitch && (*pitch < 0 || *pitch > 127)) std::abort();
                }
                if (cell.volume && *cell.volume > 64) std::abort();
                if (cell.instrument && (*cell.instrument < 0 || *cell.instrument > 127)) std::abort();
            }
        }
    } catch (const veltrane::MIDIImportError&) {
    }
    return 0;
}
