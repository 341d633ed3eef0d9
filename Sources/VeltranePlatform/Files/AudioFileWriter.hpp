#pragma once

// A 32-bit float WAV file written a block at a time, for renders too long to hold in memory. The audio
// goes to a private temporary file beside the target; only `commit` puts it in place, by a rename, so
// the target is either the old file, untouched, or the whole new one. A writer dropped without a
// commit (a failed or cancelled render) removes its temporary file and leaves nothing behind.
//
//     AudioFileWriter file("/home/me/mix.wav", 44100, 2);
//     file.append(channels, frames);     // as often as needed
//     file.commit();                     // now /home/me/mix.wav is the new file
//
// No PEAK chunk is written: some players reject it, and the same audio must give the same bytes.
// Owner thread only (a worker or the main thread); every call blocks on the disk.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace veltrane {

class AudioFileWriter {
public:
    /// Creates the temporary file. Throws `AudioFileError` (`writeFailed`) for a folder that cannot be
    /// written, a channel count below 1 or a sample rate that does not round to at least 1 Hz.
    AudioFileWriter(std::filesystem::path path, double sampleRate, int channelCount);
    /// Removes the temporary file unless `commit` succeeded.
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    /// Appends `frames` frames, one non-interleaved array per channel. Throws `AudioFileError`
    /// (`writeFailed`); the writer is then spent and the target untouched.
    void append(const float* const* channels, std::int64_t frames);

    std::int64_t framesWritten() const noexcept { return framesWritten_; }

    /// Completes the file, makes it durable and renames it over the target. Throws `AudioFileError`
    /// (`writeFailed`) and leaves the target untouched when any step fails. Only once.
    void commit();

private:
    struct File;
    [[noreturn]] void fail(const std::string& why);

    std::filesystem::path path_;
    std::filesystem::path temporary_;
    std::unique_ptr<File> file_;
    int channelCount_;
    std::int64_t framesWritten_ = 0;
    std::vector<float> interleaved_;
};

} // namespace veltrane
