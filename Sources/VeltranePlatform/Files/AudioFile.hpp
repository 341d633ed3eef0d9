#pragma once

// Audio files through libsndfile: every format it reads (WAV, AIFF, CAF, FLAC, Ogg, …) decoded to 32-bit
// float, from a file or from bytes in memory, and 32-bit float WAV written for exports and recordings.
//
//     AudioFileBuffer audio = AudioFile::read("/home/me/kick.wav");
//     AudioFileBuffer embedded = AudioFile::read(instrumentBytes.bytes());   // decoded in memory
//     AudioFile::writeFloatWAV("/home/me/mix.wav", audio);
//
// Integer formats are scaled to -1 to 1. Failures throw `AudioFileError`, whose message is for the user.
// Main thread or a worker: these block on the disk and allocate.

#include "VeltranePlatform/Files/AudioFileBuffer.hpp"

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

namespace veltrane {

/// An audio file that cannot be read or written. `what()` is the message shown to the user.
class AudioFileError : public std::runtime_error {
public:
    enum class Case {
        /// Nothing is at the path.
        notFound,
        /// Something is there, but not a file we can read (a folder, a device, a pipe).
        notAFile,
        /// The file is there but the system refused to read it (permissions, an input/output error).
        unreadable,
        /// The bytes are not audio in any format we know, or are damaged.
        notAudio,
        /// The audio decodes to more than `AudioFile::maximumDecodedBytes`, or there is not the memory
        /// to hold it.
        tooLarge,
        /// The file could not be written; nothing was left at the path.
        writeFailed,
    };

    AudioFileError(Case which, const std::string& message) : std::runtime_error(message), which_(which) {}

    Case which() const noexcept { return which_; }

private:
    Case which_;
};

class AudioFile {
public:
    /// The most a file may decode to: 1 GiB of 32-bit samples, about 50 minutes of stereo at 48 kHz.
    /// A larger one is refused with `tooLarge` before its audio is allocated when its header gives its
    /// length, and as soon as it passes the limit otherwise.
    static constexpr std::uint64_t maximumDecodedBytes = std::uint64_t{1} << 30;

    /// The whole file at `path`, decoded. A read error part-way keeps what was read before it.
    static AudioFileBuffer read(const std::filesystem::path& path);

    /// The whole file held in `bytes`, decoded from memory (no temporary file).
    static AudioFileBuffer read(std::span<const std::uint8_t> bytes);

    /// Writes `buffer` as a 32-bit float WAV file without a PEAK chunk, through an `AtomicFileWriter`:
    /// a failure never leaves a half-written file and an existing file is replaced whole. Throws
    /// `FileWriteError`. The sample rate is rounded to whole frames per second.
    static void writeFloatWAV(const std::filesystem::path& path, const AudioFileBuffer& buffer);
};

} // namespace veltrane
