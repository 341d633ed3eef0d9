#include "VeltranePlayback/Samples/SampleStore.hpp"

#include "VeltraneCore/SampleSlicing/SampleEditing.hpp"
#include "VeltranePlatform/Files/AudioFile.hpp"
#include "VeltranePlatform/Files/Bookmark.hpp"

#include <new>

namespace veltrane {

namespace {

SampleLoadFailure::Reason reasonFor(AudioFileError::Case which)
{
    switch (which) {
    case AudioFileError::Case::notFound: return SampleLoadFailure::Reason::fileNotFound;
    case AudioFileError::Case::notAFile:
    case AudioFileError::Case::unreadable: return SampleLoadFailure::Reason::fileUnreadable;
    case AudioFileError::Case::tooLarge: return SampleLoadFailure::Reason::tooLarge;
    case AudioFileError::Case::notAudio:
    case AudioFileError::Case::writeFailed: return SampleLoadFailure::Reason::notAudio;
    }
    return SampleLoadFailure::Reason::notAudio;
}

} // namespace

void SampleStore::loadSamples(const std::vector<Instrument>& instruments)
{
    for (const Instrument& instrument : instruments) load(instrument);
}

void SampleStore::load(const Instrument& instrument)
{
    const auto* file = std::get_if<SampleSource>(&instrument.source);
    const auto* bytes = std::get_if<EmbeddedSource>(&instrument.source);
    if (!file && !bytes) return;
    const Uuid& id = instrument.id;

    // A sample instrument from a file written without an edit plays its whole sample untouched, as the
    // export does: the neutral edit, rather than silence during live playback only.
    const SampleEdit edit = instrument.sampleEdit.value_or(SampleEdit{});
    const bool embedded = bytes != nullptr;
    const Data& origin = embedded ? bytes->data : file->bookmark;

    // The cache knows the audio as well as the edit: an instrument pointed at another file must not
    // keep playing the one it had.
    const auto existing = entries_.find(id);
    const bool sameAudio = existing != entries_.end() && existing->second.embedded == embedded &&
                           existing->second.origin == origin;
    if (sameAudio && existing->second.edit == edit) return;

    // A sample that cannot be loaded is silent: audio kept from an earlier load would play with an edit
    // the user has since changed, or hide that the file is gone.
    SampleLoadFailure failure;
    auto buffer = loadEdited(instrument, &failure);
    if (!buffer) {
        failures_[id] = std::move(failure);
        entries_.erase(id);
        return;
    }
    entries_[id] = Entry{embedded, origin, edit, std::move(buffer)};
    failures_.erase(id);
}

std::shared_ptr<const SampleBuffer> SampleStore::loadEdited(const Instrument& instrument, SampleLoadFailure* failure)
{
    const auto* file = std::get_if<SampleSource>(&instrument.source);
    const auto* bytes = std::get_if<EmbeddedSource>(&instrument.source);
    if (!file && !bytes) return nullptr;
    const auto fail = [&](SampleLoadFailure reason) {
        if (failure) *failure = std::move(reason);
        return nullptr;
    };

    AudioFileBuffer decoded;
    try {
        if (bytes) {
            // Decoded straight from the project's bytes: no copy of the sample is written to a
            // temporary folder, so nothing is left behind and nothing can be swapped underneath.
            decoded = AudioFile::read(bytes->data.bytes());
        } else {
            const auto path = resolveBookmark(file->bookmark.bytes());
            if (!path) {
                return fail({SampleLoadFailure::Reason::unresolvableBookmark,
                             "The sample file \u201C" + file->filename + "\u201D cannot be located on this computer."});
            }
            decoded = AudioFile::read(*path);
        }
    } catch (const AudioFileError& error) {
        return fail({reasonFor(error.which()), error.what()});
    }
    const std::string& name = bytes ? bytes->filename : file->filename;
    try {
        // The platform's buffer hands its channels over, and the edit is made in them: the audio is
        // not copied on its way up.
        SampleBuffer sample{.sampleRate = decoded.sampleRate, .channels = std::move(decoded.channels)};
        // A sample instrument from a file written without an edit plays its whole sample untouched.
        return std::make_shared<const SampleBuffer>(
            editSample(std::move(sample), instrument.sampleEdit.value_or(SampleEdit{})));
    } catch (const std::bad_alloc&) {
        return fail({SampleLoadFailure::Reason::tooLarge,
                     "The sample \u201C" + name + "\u201D is too large to load: there is not enough memory to hold it."});
    }
}

std::shared_ptr<const SampleBuffer> SampleStore::sample(const Uuid& instrument) const
{
    const auto found = entries_.find(instrument);
    return found == entries_.end() ? nullptr : found->second.buffer;
}

std::optional<SampleEdit> SampleStore::sampleEdit(const Uuid& instrument) const
{
    const auto found = entries_.find(instrument);
    if (found == entries_.end()) return std::nullopt;
    return found->second.edit;
}

std::optional<SampleLoadFailure> SampleStore::loadFailure(const Uuid& instrument) const
{
    const auto found = failures_.find(instrument);
    if (found == failures_.end()) return std::nullopt;
    return found->second;
}

} // namespace veltrane
