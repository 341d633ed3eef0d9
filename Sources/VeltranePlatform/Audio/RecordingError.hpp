#pragma once

#include <stdexcept>

namespace veltrane {

/// A recording that cannot begin for want of an input. `what()` is the message shown to the user.
class RecordingError : public std::runtime_error {
public:
    enum class Case {
        /// No input device, or one that delivers no channels or no sample rate.
        unavailable,
    };

    explicit RecordingError(Case errorCase) : std::runtime_error(messageFor(errorCase)), case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }

private:
    static const char* messageFor(Case errorCase)
    {
        switch (errorCase) {
        case Case::unavailable: return "No audio input is available.";
        }
        return "No audio input is available.";
    }

    Case case_;
};

} // namespace veltrane
