#include "VeltranePlatform/Audio/AudioInputRecording.hpp"

#include "VeltranePlatform/Files/AudioFile.hpp"

#include <sndfile.h>

#include <chrono>
#include <system_error>

namespace veltrane {

namespace {

// About five seconds of input at 48 kHz may wait for the disk before any of it is dropped.
constexpr int ringBlocks = 256;
// How often the writer looks for full blocks: far shorter than the ring lasts, long enough to cost
// nothing.
constexpr auto writerPeriod = std::chrono::milliseconds(10);

} // namespace

struct AudioInputRecording::File {
    SNDFILE* sound = nullptr;
    std::filesystem::path path;
    ~File()
    {
        if (sound != nullptr) sf_close(sound);
    }
};

AudioInputRecording::AudioInputRecording()
{
    // Set once, before any stream runs; the ring it reads is made before the stream starts.
    device_.setInputHandler([this](const float* const* channels, int channelCount, int frames) {
        if (ring_) ring_->append(channels, channelCount, frames);
    });
}

AudioInputRecording::~AudioInputRecording()
{
    finish();
}

const AudioDeviceFormat& AudioInputRecording::open(AudioDeviceSettings settings)
{
    finish();
    settings.outputChannels = 0;
    if (settings.inputChannels <= 0) settings.inputChannels = 2;
    device_.open(settings);
    const AudioDeviceFormat& format = device_.format();
    if (format.inputChannels <= 0 || !(format.sampleRate > 0)) {
        device_.close();
        throw AudioDeviceError(AudioDeviceError::Case::unavailable, "No audio input is available.");
    }
    return format;
}

void AudioInputRecording::start(const std::filesystem::path& path)
{
    if (isRecording()) return;
    const AudioDeviceFormat& format = device_.format();
    if (!device_.isOpen() || format.inputChannels <= 0) {
        throw AudioDeviceError(AudioDeviceError::Case::startFailed, "The audio input is not open.");
    }
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.sampleRate + 0.5);
    info.channels = format.inputChannels;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    auto file = std::make_unique<File>();
    file->path = path;
    file->sound = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file->sound == nullptr) {
        throw AudioFileError(AudioFileError::Case::writeFailed,
                             "The file “" + path.filename().string() + "” could not be created: " + sf_strerror(nullptr));
    }
    ring_ = std::make_unique<AudioBlockRing>(format.inputChannels, blockFrames, ringBlocks);
    try {
        device_.start();
    } catch (...) {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        ring_.reset();
        throw;
    }
    file_ = std::move(file);
    stopWriting_.store(false);
    writer_ = std::thread([this] { writeUntilStopped(); });
}

void AudioInputRecording::finish() noexcept
{
    // The device thread is done with the ring once the stream has stopped; only then may the owner
    // publish the last, partly filled block.
    device_.close();
    if (!isRecording()) return;
    ring_->flush();
    stopWriting_.store(true);
    if (writer_.joinable()) writer_.join();
    file_.reset();
}

void AudioInputRecording::writeUntilStopped() noexcept
{
    for (;;) {
        const bool last = stopWriting_.load();
        writeWaitingBlocks();
        if (last) return;
        std::this_thread::sleep_for(writerPeriod);
    }
}

void AudioInputRecording::writeWaitingBlocks() noexcept
{
    while (const auto block = ring_->front()) {
        // A block the disk refuses is lost; the take goes on with the next.
        (void)sf_writef_float(file_->sound, block->samples, block->frames);
        ring_->pop();
    }
}

} // namespace veltrane
