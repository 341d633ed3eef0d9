#pragma once

// Why an export failed. `what()` is the message shown to the user; `which()` tells callers which
// failure it was, and `name()` the sample or plug-in it names.

#include <stdexcept>
#include <string>

namespace veltrane {

class RenderError : public std::runtime_error {
public:
    enum class Case {
        /// A sample instrument's audio could not be loaded; `name()` is the sample's file name.
        sampleMissing,
        /// An insert or instrument plug-in could not be made or has no MIDI input when its notes are
        /// scheduled; `name()` is the plug-in's name.
        audioUnit,
        /// The song is longer than 1200 seconds.
        tooLong,
        /// A sample could not be played, or a block of the render failed without saying why.
        conversionFailed,
    };

    /// "The sample “kick.wav” could not be loaded."
    static RenderError sampleMissing(const std::string& filename)
    {
        return RenderError(Case::sampleMissing, "The sample \u201C" + filename + "\u201D could not be loaded.", filename);
    }

    /// "The Audio Unit “mda JX10” could not render offline."
    static RenderError audioUnit(const std::string& name)
    {
        return RenderError(Case::audioUnit, "The Audio Unit \u201C" + name + "\u201D could not render offline.", name);
    }

    /// "The song is longer than 20 minutes. Split it before exporting."
    static RenderError tooLong()
    {
        return RenderError(Case::tooLong, "The song is longer than 20 minutes. Split it before exporting.", {});
    }

    /// "A sample could not be converted for export."
    static RenderError conversionFailed()
    {
        return RenderError(Case::conversionFailed, "A sample could not be converted for export.", {});
    }

    Case which() const noexcept { return which_; }
    /// The file or plug-in name of `sampleMissing` and `audioUnit`; empty for the other cases.
    const std::string& name() const noexcept { return name_; }

private:
    RenderError(Case which, const std::string& message, std::string name)
        : std::runtime_error(message), which_(which), name_(std::move(name))
    {
    }

    Case which_;
    std::string name_;
};

/// A render its caller stopped: not a failure to report.
class RenderCancelled : public std::runtime_error {
public:
    RenderCancelled() : std::runtime_error("The export was cancelled.") {}
};

} // namespace veltrane
