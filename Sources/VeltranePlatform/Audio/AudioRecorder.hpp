#pragma once

// Records the default audio input into a new sample file, apart from the playback engine, so recording
// works whether or not the song plays. Each take is a Core Audio Format file in the input's own sample
// rate and channel count, named "Recording-" with a fresh identifier and ".caf", in the folder
// "Samples" of the application's data folder (made when missing).
//
//     AudioRecorder recorder(dataFolder);         // the application passes its data folder
//     recorder.start();                           // throws RecordingError, or the system's error
//     ...
//     std::optional<std::filesystem::path> file = recorder.stop();
//
// Main thread for every member. The input device's thread only hands blocks to the take's writer
// (`AudioInputRecording`).

#include "VeltranePlatform/Audio/AudioDevice.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace veltrane {

class AudioInputRecording;

class AudioRecorder {
public:
    /// Idle: nothing is opened before `start`. `dataFolder` is the application's per-user data folder
    /// (on Linux $XDG_DATA_HOME/Veltrane); `input` chooses the backend and device, the default input of
    /// the first backend that works unless it says otherwise. Only its first two input channels are
    /// recorded: a sample plays in stereo at most.
    explicit AudioRecorder(std::filesystem::path dataFolder, AudioDeviceSettings input = {});
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    /// Begins a take. Throws RecordingError (`unavailable`) when there is no input; std::filesystem's
    /// error when the folder cannot be made; AudioFileError when the file cannot be created;
    /// AudioDeviceError when the input cannot start. A failed start leaves the recorder as it was and no
    /// file behind. Does nothing while a take runs.
    void start();
    /// Ends the take that runs, if any, and gives the latest take's file (nothing when there never was
    /// one). Never fails.
    std::optional<std::filesystem::path> stop() noexcept;

    bool isRecording() const noexcept { return take_ != nullptr; }
    /// The latest take's file; it stays set after the take stops.
    const std::optional<std::filesystem::path>& url() const noexcept { return url_; }
    /// Where the takes go: the folder "Samples" of the data folder.
    std::filesystem::path samplesFolder() const { return dataFolder_ / "Samples"; }

private:
    std::filesystem::path dataFolder_;
    AudioDeviceSettings input_;
    std::unique_ptr<AudioInputRecording> take_;
    std::optional<std::filesystem::path> url_;
};

} // namespace veltrane
