#pragma once

// One take of an audio input written to a Core Audio Format file (32-bit float, the input's own sample
// rate and channel count). The device thread only copies each input block into a ring of 1,024-frame
// blocks; a writer thread of the take's own drains the ring into the file, so the disk never holds up
// the device.
//
//     AudioInputRecording take;
//     AudioDeviceFormat input = take.open(settings);   // the input and its format; no file yet
//     take.start("/home/me/take.caf");                   // the file is made and audio flows into it
//     ...
//     take.finish();                                     // the rest is written and the file closed
//
// Owner thread for every member. A device that goes away during the take ends the audio there; the
// file keeps what came before.

#include "VeltranePlatform/Audio/AudioBlockRing.hpp"
#include "VeltranePlatform/Audio/AudioDevice.hpp"

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

namespace veltrane {

class AudioInputRecording {
public:
    /// The length of the blocks the device thread hands to the writer.
    static constexpr int blockFrames = 1024;

    AudioInputRecording();
    /// Finishes a take that runs.
    ~AudioInputRecording();
    AudioInputRecording(const AudioInputRecording&) = delete;
    AudioInputRecording& operator=(const AudioInputRecording&) = delete;

    /// Opens the input that `settings` names (its output side is not used) and says what it delivers.
    /// Throws AudioDeviceError; `unavailable` when there is no input at all.
    const AudioDeviceFormat& open(AudioDeviceSettings settings);
    /// Creates the file at `path` (replacing one there) in the input's format and starts the take.
    /// Throws AudioFileError (`writeFailed`) when the file cannot be made, AudioDeviceError when the
    /// input cannot start; a file made before such a failure is removed again.
    void start(const std::filesystem::path& path);
    /// Stops the input, writes every block it delivered and closes the file. Safe to call again.
    void finish() noexcept;

    bool isRecording() const noexcept { return file_ != nullptr; }
    /// Input frames lost because the writer fell behind. Any thread.
    std::int64_t droppedFrames() const noexcept { return ring_ ? ring_->droppedFrames() : 0; }

private:
    struct File;
    void writeUntilStopped() noexcept;
    void writeWaitingBlocks() noexcept;

    AudioDevice device_;
    std::unique_ptr<AudioBlockRing> ring_;
    std::unique_ptr<File> file_;
    std::thread writer_;
    std::atomic<bool> stopWriting_{false};
};

} // namespace veltrane
