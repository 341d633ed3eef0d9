#include "VeltranePlatform/Files/AudioFileWriter.hpp"

#include "VeltranePlatform/Files/AtomicFileWriter.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrane {

namespace {

constexpr std::int64_t chunkFrames = 4096;

} // namespace

// libsndfile writes through the atomic writer's descriptor and never closes it.
struct AudioFileWriter::File {
    AtomicFileWriter target;
    SNDFILE* sound = nullptr;

    explicit File(std::filesystem::path path) : target(std::move(path)) {}
    void closeSound() noexcept
    {
        if (sound != nullptr) sf_close(sound);
        sound = nullptr;
    }
    ~File() { closeSound(); }
};

AudioFileWriter::AudioFileWriter(std::filesystem::path path, double sampleRate, int channelCount)
    : path_(std::move(path)), channelCount_(channelCount)
{
    const double rate = std::round(sampleRate);
    if (channelCount < 1) fail("there is no audio channel");
    if (!(rate >= 1 && rate <= std::numeric_limits<int>::max())) fail("the sample rate is not valid");

    file_ = std::make_unique<File>(path_);
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channelCount;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_->sound = sf_open_fd(file_->target.descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (file_->sound == nullptr) fail(sf_strerror(nullptr));
    // Players that do not know the PEAK chunk reject the file, and a peak chunk carries a time stamp,
    // so two writes of the same audio would differ.
    sf_command(file_->sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    interleaved_.resize(static_cast<std::size_t>(chunkFrames * channelCount));
}

AudioFileWriter::~AudioFileWriter() = default;

void AudioFileWriter::fail(const std::string& why)
{
    if (!file_) {
        // Nothing was created yet: the arguments themselves are wrong.
        throw FileWriteError(FileWriteError::Case::writeFailed, path_,
                             "The file \u201C" + path_.filename().string() + "\u201D could not be written: " + why + ".");
    }
    file_->closeSound();
    auto file = std::move(file_);
    file->target.fail(why);
}

void AudioFileWriter::append(const float* const* channels, std::int64_t frames)
{
    if (!file_ || file_->sound == nullptr) fail("the file is already closed");
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
    if (!file_ || file_->sound == nullptr) fail("the file is already closed");
    const int closed = sf_close(file_->sound);
    file_->sound = nullptr;
    if (closed != 0) fail(sf_error_number(closed));
    auto file = std::move(file_);
    file->target.commit();
}

} // namespace veltrane
