#pragma once

// A 32-bit float WAV file written a block at a time, for renders too long to hold in memory. The audio
// goes through an `AtomicFileWriter`: only `commit` puts it in place, so the target is either the old
// file, untouched, or the whole new one, and a writer dropped without a commit (a failed, cancelled or
// killed render) leaves nothing behind. The target is checked when the writer is made.
//
//     AudioFileWriter file("/home/me/mix.wav", 44100, 2);
//     file.append(channels, frames);     // as often as needed
//     file.commit();                     // now /home/me/mix.wav is the new file
//
// No PEAK chunk is written: some players reject it, and the same audio must give the same bytes.
// Owner thread only (a worker or the main thread); every call blocks on the disk.

#include "VeltranePlatform/Files/AtomicFileWriter.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace veltrane {

class AudioFileWriter {
public:
    /// Checks the target and creates the temporary file. Throws `FileWriteError` for a target that cannot
    /// be written (see AtomicFileWriter.hpp), and with `writeFailed` for a channel count below 1 or a
    /// sample rate that does not round to at least 1 Hz.
    AudioFileWriter(std::filesystem::path path, double sampleRate, int channelCount);
    /// Discards the temporary file unless `commit` succeeded.
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    /// Appends `frames` frames, one non-interleaved array per channel. Throws `FileWriteError`
    /// (`writeFailed`); the writer is then spent and the target untouched.
    void append(const float* const* channels, std::int64_t frames);

    std::int64_t framesWritten() const noexcept { return framesWritten_; }

    /// Completes the file and commits it to the target. Throws `FileWriteError` and leaves the target
    /// untouched when any step fails. Only once.
    void commit();

private:
    struct File;
    [[noreturn]] void fail(const std::string& why);

    std::filesystem::path path_;
    std::unique_ptr<File> file_;
    int channelCount_;
    std::int64_t framesWritten_ = 0;
    std::vector<float> interleaved_;
};

} // namespace veltrane
