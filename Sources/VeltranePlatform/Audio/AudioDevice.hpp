#pragma once

// The sound card: output (and input, for recording) through RtAudio with JACK, PulseAudio or ALSA,
// or a null device that pulls the graph on a thread of its own at real-time pace (for machines without
// sound, and for tests).
//
//     AudioDevice device(&graph);
//     device.setConfigurationChangeHandler([&] { ... });   // called from pollEvents()
//     device.open({.backend = AudioBackend::automatic});    // may change the graph's sample rate
//     device.start();
//     ... a timer on the owner thread calls graph.drainCompletions() and device.pollEvents() ...
//
// Threads: every member function is for the owner thread, except where said. The device's own thread
// renders the graph and calls the input handler; neither it nor anything it calls allocates, locks,
// waits or logs. A device that goes away while running (a JACK server that shuts down, an unplugged
// card, a driver error) is reported once through the configuration-change handler, on the owner
// thread, from `pollEvents`; `reopen` then opens it again with the same settings.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane {

class AudioGraph;
namespace detail {
class AudioDeviceBackend;
class AudioDeviceProcessor;
} // namespace detail

enum class AudioBackend {
    automatic, ///< the first that works of JACK (when a server runs), PulseAudio and ALSA
    jack,
    pulseAudio,
    alsa,
    null, ///< no sound card: renders on a timer thread and discards the output
};

/// "JACK", "PulseAudio", "ALSA", "No audio device", "Automatic".
std::string displayName(AudioBackend backend);

struct AudioDeviceSettings {
    AudioBackend backend = AudioBackend::automatic;
    std::string outputDevice; ///< empty for the backend's default output
    std::string inputDevice;  ///< empty for the backend's default input
    int outputChannels = 2;   ///< 0 for an input-only device; more than 2 are filled with silence
    int inputChannels = 0;    ///< 0 for an output-only device
    double sampleRate = 48000; ///< the rate to ask for; a device that cannot do it uses its own
    int bufferFrames = 256;
    std::string clientName = "Veltrane"; ///< the JACK client name
};

struct AudioDeviceInfo {
    AudioBackend backend = AudioBackend::null;
    std::string name;
    int outputChannels = 0;
    int inputChannels = 0;
    bool isDefaultOutput = false;
    bool isDefaultInput = false;
    std::vector<double> sampleRates;
    friend bool operator==(const AudioDeviceInfo&, const AudioDeviceInfo&) = default;
};

/// What an opened device actually runs with.
struct AudioDeviceFormat {
    AudioBackend backend = AudioBackend::null;
    std::string outputDevice;
    std::string inputDevice;
    int outputChannels = 0;
    int inputChannels = 0;
    double sampleRate = 0;
    int bufferFrames = 0;
    double outputLatencySeconds = 0;
    friend bool operator==(const AudioDeviceFormat&, const AudioDeviceFormat&) = default;
};

class AudioDeviceError : public std::runtime_error {
public:
    enum class Case {
        unavailable, ///< no such backend or device, or it has no channels of the asked kind
        openFailed,
        startFailed,
    };
    AudioDeviceError(Case errorCase, const std::string& message) : std::runtime_error(message), case_(errorCase) {}
    Case errorCase() const noexcept { return case_; }

private:
    Case case_;
};

class AudioDevice {
public:
    /// Receives every input block: `channelCount` non-interleaved channels of `frames` floats. Runs on
    /// the device thread: it must not allocate, lock, wait or log.
    using InputHandler = std::function<void(const float* const* channels, int channelCount, int frames)>;

    /// `graph` is what the output plays; nullptr for an input-only device (the output is then silent).
    explicit AudioDevice(AudioGraph* graph = nullptr);
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    /// The backends this build can use, JACK first.
    static std::vector<AudioBackend> availableBackends();
    /// The devices a backend offers now; empty when it offers none (a JACK server that does not run).
    static std::vector<AudioDeviceInfo> devices(AudioBackend backend);

    /// Set before `open`.
    void setInputHandler(InputHandler handler);
    /// Called from `pollEvents` when the device went away under a running stream.
    void setConfigurationChangeHandler(std::function<void()> handler);

    /// Opens the device (closing one that is open). When the device runs at another sample rate or with
    /// longer blocks than the graph was made for, the graph's format is changed to match: the graph must
    /// not be rendered by anything else meanwhile. Throws AudioDeviceError.
    void open(const AudioDeviceSettings& settings);
    /// Starts the stream; the graph is pulled from now on. Throws AudioDeviceError.
    void start();
    /// Stops the stream; nothing is pulled once it returns. Safe when not running. Never waits for the
    /// device to play out, so it returns also when a server dies at that moment. A stream found lost, or
    /// a device that no longer calls (after a second at most), is let go instead (the device closes it on
    /// a thread of its own; the next `pollEvents` reports the loss), so a device that went away never
    /// blocks the owner.
    void stop() noexcept;
    /// Stops and closes. Safe when not open. A device that no longer calls (a server that died or hangs)
    /// is let go as a lost one, after waiting a second at most.
    void close() noexcept;
    /// Closes and opens again with the settings of the last `open`, and starts again when the device
    /// was running or was lost while running. Throws AudioDeviceError.
    void reopen();

    bool isOpen() const noexcept;
    bool isRunning() const noexcept { return running_; }
    /// The format of the open device; all zeros when closed.
    const AudioDeviceFormat& format() const noexcept { return format_; }

    /// Reports a lost device to the configuration-change handler (once per loss); the lost stream is
    /// let go and the device is closed after it. Owner thread.
    void pollEvents();

    /// When graph frame `frame` is expected to leave the output, from the time of the latest block and
    /// the output latency; nothing before the first block. Any thread.
    std::optional<std::chrono::steady_clock::time_point> timeOfGraphFrame(std::int64_t frame) const noexcept;
    /// Blocks the device reported as delivered too late. Any thread.
    std::uint64_t underrunCount() const noexcept;

private:
    bool deviceLost() const noexcept;
    void abandonLostStream() noexcept;

    AudioGraph* graph_;
    std::unique_ptr<detail::AudioDeviceProcessor> processor_;
    std::unique_ptr<detail::AudioDeviceBackend> backend_;
    std::optional<AudioDeviceSettings> settings_;
    AudioDeviceFormat format_;
    std::function<void()> onConfigurationChange_;
    std::chrono::steady_clock::time_point startedAt_;
    bool running_ = false;
    bool lossReported_ = false;
    bool lossPending_ = false;
};

} // namespace veltrane
