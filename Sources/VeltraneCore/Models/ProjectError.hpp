#pragma once

#include <stdexcept>
#include <string>

namespace veltrane {

/// A project that cannot be opened. `what()` is the message shown to the user; `which()` tells callers
/// which failure it was.
class ProjectError : public std::runtime_error {
public:
    enum class Case {
        /// The file's format version is one this build cannot read; `version()` holds it.
        unsupportedVersion,
        /// The document breaks a rule that repair cannot mend safely.
        invalid,
    };

    /// "This project uses Veltrane format 2, which this version of Veltrane cannot open."
    static ProjectError unsupportedVersion(int version)
    {
        return ProjectError(Case::unsupportedVersion,
                            "This project uses Veltrane format " + std::to_string(version) +
                                ", which this version of Veltrane cannot open.",
                            version);
    }

    /// "This is not a valid Veltrane project." The failed check is deliberately not named.
    static ProjectError invalid()
    {
        return ProjectError(Case::invalid, "This is not a valid Veltrane project.", 0);
    }

    Case which() const noexcept { return which_; }
    /// The refused version of an `unsupportedVersion` error; 0 for other cases.
    int version() const noexcept { return version_; }

private:
    ProjectError(Case which, const std::string& message, int version)
        : std::runtime_error(message), which_(which), version_(version)
    {
    }

    Case which_;
    int version_;
};

} // namespace veltrane
