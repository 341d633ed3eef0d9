#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace veltrane {

/// A project that cannot be opened or saved. `what()` is the message shown to the user; `which()` tells
/// callers which failure it was.
class ProjectError : public std::runtime_error {
public:
    enum class Case {
        /// The file's format version is one this build cannot read; `version()` holds it.
        unsupportedVersion,
        /// The document breaks a rule that repair cannot mend safely.
        invalid,
        /// The bytes are not a project document: not JSON, a member of the wrong type, a required member
        /// missing, a number out of its field's range, a string that is not a UUID, Base64 or one of the
        /// names a field allows. `detail()` says what, `codingPath()` where.
        unreadable,
        /// The project holds a number that a file cannot carry (NaN or an infinity); `codingPath()` says where.
        unencodableValue,
        /// The project holds more than a file may hold and still be opened; `detail()` says what.
        tooLarge,
    };

    /// "This project uses Veltrane format 2, which this version of Veltrane cannot open."
    static ProjectError unsupportedVersion(std::int64_t version)
    {
        return ProjectError(Case::unsupportedVersion,
                            "This project uses Veltrane format " + std::to_string(version) +
                                ", which this version of Veltrane cannot open.",
                            version, {}, {});
    }

    /// "This is not a valid Veltrane project." The failed check is deliberately not named.
    static ProjectError invalid()
    {
        return ProjectError(Case::invalid, "This is not a valid Veltrane project.", 0, {}, {});
    }

    /// A document that cannot be read as a project. `detail` is the reader's description of the fault,
    /// such as "Expected MIDI note, off or tie"; `codingPath` the member it was met in, such as
    /// "patterns[0].cells[3][1].note", empty for the document as a whole.
    static ProjectError unreadable(std::string detail, std::string codingPath);

    /// A Double that is NaN or infinite at `codingPath`; `detail` is its text ("nan", "inf", "-inf").
    static ProjectError unencodableValue(std::string codingPath, std::string detail);

    /// A project beyond the load limits; `detail` says which limit and by how much, in the user's words.
    static ProjectError tooLarge(std::string detail);

    Case which() const noexcept { return which_; }
    /// The refused version of an `unsupportedVersion` error; 0 for other cases.
    std::int64_t version() const noexcept { return version_; }
    /// The description of an `unreadable`, `unencodableValue` or `tooLarge` error without the framing
    /// sentence of `what()`; empty for the other cases.
    const std::string& detail() const noexcept { return detail_; }
    /// Where an `unreadable` or `unencodableValue` error was met, as members and indices from the root
    /// ("instruments[2].source"); empty for the root and for the other cases.
    const std::string& codingPath() const noexcept { return codingPath_; }

private:
    ProjectError(Case which, const std::string& message, std::int64_t version, std::string detail,
                 std::string codingPath)
        : std::runtime_error(message)
        , which_(which)
        , version_(version)
        , detail_(std::move(detail))
        , codingPath_(std::move(codingPath))
    {
    }

    Case which_;
    std::int64_t version_;
    std::string detail_;
    std::string codingPath_;
};

} // namespace veltrane
