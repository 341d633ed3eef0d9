#pragma once

// What the model asks of the audio input recorder: start a take, and stop it for the file it wrote. The
// application's is `AudioRecorder` on the default input; tests hand the model one that writes what
// they choose.

#include "VeltranePlatform/Audio/AudioRecorder.hpp"

#include <filesystem>
#include <optional>

namespace veltrane {

class SampleRecorder {
public:
    virtual ~SampleRecorder() = default;
    /// Begins a take. Throws with the message for the user when the input cannot record.
    virtual void start() = 0;
    /// Ends the take and gives its file, if it has one. Never fails.
    virtual std::optional<std::filesystem::path> stop() = 0;
};

/// Takes of the audio input (the default one unless `input` names another) into the "Samples" folder of
/// `dataFolder`.
class AudioInputSampleRecorder final : public SampleRecorder {
public:
    explicit AudioInputSampleRecorder(std::filesystem::path dataFolder, AudioDeviceSettings input = {})
        : recorder_(std::move(dataFolder), std::move(input))
    {
    }
    void start() override { recorder_.start(); }
    std::optional<std::filesystem::path> stop() override { return recorder_.stop(); }

private:
    AudioRecorder recorder_;
};

} // namespace veltrane
