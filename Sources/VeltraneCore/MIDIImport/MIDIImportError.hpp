#pragma once

// Why a Standard MIDI File was refused. There is one kind of failure: the file is not one we can read.
// `what()` is the message the user sees.

#include <stdexcept>

namespace veltrane {

class MIDIImportError : public std::runtime_error {
public:
    enum class Case {
        invalid, // not a Standard MIDI File, a time-code division, truncated, malformed, or without notes
    };

    explicit MIDIImportError(Case errorCase = Case::invalid);

    /// Which failure it was.
    Case which() const noexcept { return which_; }

    /// The user-facing message of a case: "This is not a valid Standard MIDI File."
    static const char* message(Case errorCase);

private:
    Case which_;
};

} // namespace veltrane
