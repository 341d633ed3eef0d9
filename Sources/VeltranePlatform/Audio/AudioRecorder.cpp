#include "VeltranePlatform/Audio/AudioRecorder.hpp"

#include "VeltranePlatform/Audio/AudioInputRecording.hpp"
#include "VeltranePlatform/Audio/RecordingError.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <system_error>

namespace veltrane {

namespace {

// A fresh random (version 4) identifier in its canonical upper-case form, drawn from the system's
// entropy source: takes are few, and two recorders must never pick the same name.
std::string randomIdentifier()
{
    std::random_device entropy;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint32_t word = entropy();
        for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        text += digits;
    }
    return text;
}

} // namespace

AudioRecorder::AudioRecorder(std::filesystem::path dataFolder, AudioDeviceSettings input)
    : dataFolder_(std::move(dataFolder)), input_(std::move(input))
{
}

AudioRecorder::~AudioRecorder()
{
    stop();
}

void AudioRecorder::start()
{
    if (isRecording()) return;
    auto take = std::make_unique<AudioInputRecording>();
    try {
        take->open(input_);
    } catch (const AudioDeviceError& error) {
        // Only a missing input is ours to name; a device that is there but fails speaks for itself.
        if (error.errorCase() == AudioDeviceError::Case::unavailable) throw RecordingError(RecordingError::Case::unavailable);
        throw;
    }
    // A relative folder would put recordings wherever the program happened to start.
    if (dataFolder_.empty() || dataFolder_.is_relative()) {
        throw std::filesystem::filesystem_error("The folder for recordings could not be found", dataFolder_,
                                                std::make_error_code(std::errc::no_such_file_or_directory));
    }
    const std::filesystem::path folder = samplesFolder();
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / ("Recording-" + randomIdentifier() + ".caf");
    take->start(path);
    take_ = std::move(take);
    url_ = path;
}

std::optional<std::filesystem::path> AudioRecorder::stop() noexcept
{
    take_.reset();
    return url_;
}

} // namespace veltrane
