#pragma once

// The parts of `AudioDevice` that a backend shares: the render step every backend's audio thread runs,
// and the interface a backend implements. Not for use outside the device.

#include "VeltranePlatform/Audio/AudioDevice.hpp"

#include <atomic>
#include <memory>

namespace veltrane::detail {

/// Runs on the device thread, once per block: hands the input to the input handler and renders the
/// graph into the output. Never allocates, locks, waits or logs.
class AudioDeviceProcessor {
public:
    static constexpr int maximumChannels = 64;

    AudioGraph* graph = nullptr;
    AudioDevice::InputHandler inputHandler;

    /// Owner thread, before the stream starts.
    void prepare(double sampleRate, int bufferFrames, double outputLatencySeconds);
    void process(float* const* outputs, int outputCount, const float* const* inputs, int inputCount,
                 int frames, bool underrun) noexcept;

    std::atomic<std::int64_t> lastBlockNanoseconds{0};
    std::atomic<std::uint64_t> underruns{0};

    /// Reads the latest (graph frame, time) pair; false before the first block. Any thread.
    bool latestStamp(std::int64_t& frame, std::int64_t& nanoseconds) const noexcept;
    double sampleRate = 48000;
    double outputLatencySeconds = 0;

private:
    std::unique_ptr<float[]> mono_;
    int monoFrames_ = 0;
    // A sequence lock: odd while the device thread writes the pair.
    std::atomic<std::uint64_t> stampSequence_{0};
    std::atomic<std::int64_t> stampFrame_{0};
    std::atomic<std::int64_t> stampNanoseconds_{0};
};

class AudioDeviceBackend {
public:
    virtual ~AudioDeviceBackend() = default;
    /// Opens the stream and says what it runs with. Throws AudioDeviceError.
    virtual AudioDeviceFormat open(const AudioDeviceSettings& settings, AudioDeviceProcessor& processor) = 0;
    /// Throws AudioDeviceError.
    virtual void start() = 0;
    virtual void stop() noexcept = 0;
    virtual void close() noexcept = 0;
    /// Whether the stream ended without being asked to (the device or server went away).
    virtual bool lost() const noexcept = 0;
    /// Whether the device still asks for blocks, so it may be closed from the owner thread; waits a few
    /// blocks at most. A device that stopped calling is let go like a lost one. Owner thread.
    virtual bool stillCalling() noexcept { return true; }
    /// Stops handing blocks to the processor and waits for a block under way to finish, without asking
    /// anything of the device (a lost device may never answer). Owner thread.
    virtual void silence() noexcept = 0;
    /// Lets go of a lost stream. Runs on a thread of its own, because a device that went away can block
    /// whoever closes it; the owner never waits for it.
    virtual void releaseAfterLoss() noexcept = 0;
};

/// Hands a lost backend to a background thread that closes and frees it.
void retireLostBackend(std::unique_ptr<AudioDeviceBackend> backend);

std::unique_ptr<AudioDeviceBackend> makeNullBackend();
/// `backend` is jack, pulseAudio or alsa. Throws AudioDeviceError when this build lacks it.
std::unique_ptr<AudioDeviceBackend> makeRtAudioBackend(AudioBackend backend);
std::vector<AudioBackend> rtAudioBackends();
std::vector<AudioDeviceInfo> rtAudioDevices(AudioBackend backend);

} // namespace veltrane::detail
