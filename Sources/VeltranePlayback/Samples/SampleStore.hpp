#pragma once

// The decoded, edited audio of a project's sample instruments, by instrument identifier. The live engine
// keeps one store and calls `loadSamples` with the project's instruments after every change; the export
// keeps one per render. Notes of sample instruments render from `sample(id)`.
//
// Each instrument's audio is read from its bookmarked file or decoded from the bytes embedded in the
// project (in memory, no temporary file), and its `SampleEdit` (trim, reverse, normalise, fades) is
// applied once, here, not per note. The loop and slice points of that edit are fractions of the edited
// buffer the store holds.
//
// A loaded buffer is kept while the instrument's audio (bookmark or bytes) and edit stay the same, so a
// change elsewhere in the project reads nothing. A sample that cannot be loaded leaves its instrument
// silent and records why (`loadFailure`), for the model to report; nothing throws.
//
// Main thread: loading blocks on the disk. The buffers are immutable and shared, so a renderer may keep
// one while the store moves on.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/SampleSlicing/SampleBuffer.hpp"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace veltrane {

/// Why a sample instrument is silent.
struct SampleLoadFailure {
    enum class Reason {
        /// The bookmark does not name a file on this machine (made elsewhere, or damaged).
        unresolvableBookmark,
        /// The bookmarked file is gone.
        fileNotFound,
        /// The file is there but cannot be read, or is not a file.
        fileUnreadable,
        /// The file or the embedded bytes are not audio we can decode.
        notAudio,
        /// The audio decodes to more than a sample may take (`AudioFile::maximumDecodedBytes`), or there
        /// is not the memory to hold it.
        tooLarge,
    };
    Reason reason = Reason::notAudio;
    std::string message; // for the user

    friend bool operator==(const SampleLoadFailure&, const SampleLoadFailure&) = default;
};

class SampleStore {
public:
    /// Loads every sample instrument among `instruments` whose audio or edit changed since it was last
    /// loaded. Synth and plug-in instruments are passed over; a sample instrument without an edit
    /// plays with the neutral edit. An instrument whose load fails is silent until a later load
    /// succeeds. Main thread.
    void loadSamples(const std::vector<Instrument>& instruments);

    /// The edited audio of the instrument, or null when it has none (silent).
    std::shared_ptr<const SampleBuffer> sample(const Uuid& instrument) const;

    /// The edit applied to `sample(instrument)`.
    std::optional<SampleEdit> sampleEdit(const Uuid& instrument) const;

    /// Why the instrument's last load failed; nothing once a load succeeds.
    std::optional<SampleLoadFailure> loadFailure(const Uuid& instrument) const;

    /// The instrument's audio read and edited, without a store: the one way every sample is loaded.
    /// Null for an instrument that is not a sample instrument; a failure fills `failure` when given.
    static std::shared_ptr<const SampleBuffer> loadEdited(const Instrument& instrument,
                                                          SampleLoadFailure* failure = nullptr);

private:
    // What a buffer was made from: the bookmark or the embedded bytes (shared with the project, so
    // keeping them costs nothing), and the edit.
    struct Entry {
        bool embedded = false;
        Data origin;
        SampleEdit edit;
        std::shared_ptr<const SampleBuffer> buffer;
    };

    void load(const Instrument& instrument);

    std::unordered_map<Uuid, Entry> entries_;
    std::unordered_map<Uuid, SampleLoadFailure> failures_;
};

} // namespace veltrane
