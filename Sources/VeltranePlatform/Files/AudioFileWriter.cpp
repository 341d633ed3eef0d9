#include "VeltranePlatform/Files/AudioFileWriter.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <sndfile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace veltrane {

namespace {

constexpr std::int64_t chunkFrames = 4096;

// Files we make get the usual permissions of a user's document; a file we replace keeps its own.
mode_t modeForNewFile(const std::filesystem::path& path)
{
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) return existing.st_mode & 07777;
    return 0644;
}

} // namespace

// The descriptor stays ours: libsndfile never closes it, so it is closed exactly once, here or in commit.
struct AudioFileWriter::File {
    int descriptor = -1;
    SNDFILE* sound = nullptr;

    void close() noexcept
    {
        if (sound != nullptr) sf_close(sound);
        sound = nullptr;
        if (descriptor >= 0) ::close(descriptor);
        descriptor = -1;
    }
    ~File() { close(); }
};

AudioFileWriter::AudioFileWriter(std::filesystem::path path, double sampleRate, int channelCount)
    : path_(std::move(path)), channelCount_(channelCount)
{
    const double rate = std::round(sampleRate);
    if (channelCount < 1) fail("there is no audio channel.");
    if (!(rate >= 1 && rate <= std::numeric_limits<int>::max())) fail("the sample rate is not valid.");

    const std::filesystem::path folder = path_.has_parent_path() ? path_.parent_path() : std::filesystem::path(".");
    std::string temporary = (folder / ("." + path_.filename().string() + ".XXXXXX")).string();
    file_ = std::make_unique<File>();
    // mkstemp makes a fresh name only we can open (mode 0600) until the file takes its final mode.
    file_->descriptor = ::mkstemp(temporary.data());
    if (file_->descriptor < 0) fail(std::strerror(errno));
    temporary_ = temporary;
    ::fchmod(file_->descriptor, modeForNewFile(path_));

    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channelCount;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_->sound = sf_open_fd(file_->descriptor, SFM_WRITE, &info, SF_FALSE);
    if (file_->sound == nullptr) fail(sf_strerror(nullptr));
    // Players that do not know the PEAK chunk reject the file, and a peak chunk carries a time stamp,
    // so two writes of the same audio would differ.
    sf_command(file_->sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    interleaved_.resize(static_cast<std::size_t>(chunkFrames * channelCount));
}

AudioFileWriter::~AudioFileWriter()
{
    if (file_) file_->close();
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void AudioFileWriter::fail(const std::string& why)
{
    if (file_) file_->close();
    file_.reset();
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
        temporary_.clear();
    }
    throw AudioFileError(AudioFileError::Case::writeFailed,
                         "The file \u201C" + path_.filename().string() + "\u201D could not be written: " + why);
}

void AudioFileWriter::append(const float* const* channels, std::int64_t frames)
{
    if (!file_ || file_->sound == nullptr) fail("the file is already closed.");
    const auto count = static_cast<std::size_t>(channelCount_);
    for (std::int64_t start = 0; start < frames; start += chunkFrames) {
        const std::int64_t block = std::min(chunkFrames, frames - start);
        for (std::int64_t frame = 0; frame < block; ++frame) {
            for (std::size_t channel = 0; channel < count; ++channel) {
                interleaved_[static_cast<std::size_t>(frame) * count + channel] = channels[channel][start + frame];
            }
        }
        if (sf_writef_float(file_->sound, interleaved_.data(), block) != block) fail(sf_strerror(file_->sound));
        framesWritten_ += block;
    }
}

void AudioFileWriter::commit()
{
    if (!file_ || file_->sound == nullptr) fail("the file is already closed.");
    const int closed = sf_close(file_->sound);
    file_->sound = nullptr;
    if (closed != 0) fail(sf_error_number(closed));
    // On the disk before the rename, so a crash leaves either the old file or the whole new one.
    if (::fsync(file_->descriptor) != 0) fail(std::strerror(errno));
    const int descriptor = file_->descriptor;
    file_->descriptor = -1;
    if (::close(descriptor) != 0) fail(std::strerror(errno));
    std::error_code renameError;
    std::filesystem::rename(temporary_, path_, renameError);
    if (renameError) fail(renameError.message());
    temporary_.clear();
    file_.reset();
}

} // namespace veltrane
