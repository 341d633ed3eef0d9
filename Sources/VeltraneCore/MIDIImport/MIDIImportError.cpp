#include "VeltraneCore/MIDIImport/MIDIImportError.hpp"

namespace veltrane {

MIDIImportError::MIDIImportError(Case errorCase)
    : std::runtime_error(message(errorCase))
    , which_(errorCase)
{
}

const char* MIDIImportError::message(Case errorCase)
{
    switch (errorCase) {
    case Case::invalid: return "This is not a valid Standard MIDI File.";
    }
    return "This is not a valid Standard MIDI File.";
}

} // namespace veltrane
