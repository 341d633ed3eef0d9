#pragma once

// The live audio engine: the one object through which a project is heard. The application model makes it
// once, hands it every new project value (`apply`), starts it on the first audition or play, reads its
// meters, and pumps it from a timer on the main thread (`drainCompletions`).
//
// The graph, built here on our `AudioGraph`:
//
//     each used strip:  8 voice players + 3 audition players -> mixer -> filter -> drive -> masterBus
//     clockPlayer (silent), metronomePlayer                                               -> masterBus
//     masterBus -> filter -> drive -> crusher -> delay -> reverb -> transportTimePitch -> limiter
//               -> main mixer (master volume) -> device
//
// All 32 strips and their players exist from the start, but a strip joins the graph only when it is
// first used, so a project of four tracks renders four strips. The engine has no render callback of its
// own: notes are rendered into buffers on the main thread and queued on players with sample-accurate
// start frames; track and master settings live in node parameters (atomics).
//
// Threads: every member function is for the main thread. The device thread renders the graph; what it
// finishes with (played buffers, cycle markers) comes back through `drainCompletions`, which the model
// calls from a timer (every few milliseconds) and tests call themselves. Meters are lock-free taps.

#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"
#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDevice.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioMixerNode.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"
#include "VeltranePlatform/Files/SampleStore.hpp"

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace veltrane {

class AudioEngine {
public:
    static constexpr int trackCount = 32;
    /// Players of a strip kept for auditioned notes (a note and up to two chord notes), so that an
    /// audition never touches a player that playback uses.
    static constexpr int auditionVoiceCount = 3;
    /// The master limiter's attack and decay, seconds.
    static constexpr float limiterAttackTime = 0.001f;
    static constexpr float limiterDecayTime = 0.08f;
    /// Each read of the meters leaves the held peaks multiplied by this.
    static constexpr float meterDecay = 0.82f;

    /// One player of a strip and the identity of what it last started.
    struct Voice {
        std::shared_ptr<AudioPlayerNode> player = std::make_shared<AudioPlayerNode>();
        Uuid token = Uuid::random();
    };

    /// One track strip.
    struct Track {
        std::shared_ptr<AudioMixerNode> mixer = std::make_shared<AudioMixerNode>(); // volume and pan
        std::shared_ptr<AudioEQNode> filter = std::make_shared<AudioEQNode>();
        std::shared_ptr<AudioDistortionNode> drive = std::make_shared<AudioDistortionNode>();
        std::array<Voice, trackerVoiceCount> voices;            // playback
        std::array<Voice, auditionVoiceCount> auditionVoices;  // audition only
        std::optional<int> lastNote; // the root of the strip's last audition: where the next one glides from
        bool connected = false;      // attached, wired and metered
    };

    struct Options {
        /// The output device; none for an engine whose graph the owner renders itself (tests, benchmarks).
        std::optional<AudioDeviceSettings> device = AudioDeviceSettings{};
        /// The rate the graph is made at; an opened device may change it to its own.
        double sampleRate = 48000;
        int maximumFrames = AudioGraph::defaultMaximumFrames;
    };

    /// Held peaks, linear amplitude (full scale 1).
    struct MeterLevels {
        std::array<float, trackCount> tracks{};
        float master = 0;
    };

    /// Builds the graph (master side wired, strips not yet) and prepares it. Does not open the device.
    AudioEngine();
    explicit AudioEngine(Options options);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    /// Pushes the project's master volume, master effects and every strip's mixer settings to the nodes,
    /// then loads the samples of its instruments.
    void apply(const Project& project);

    /// Opens and starts the output device when it is not running. Throws `AudioDeviceError`; the engine
    /// stays usable and a later call tries again.
    void start();
    bool isRunning() const noexcept { return running_; }

    /// The rate notes are rendered and timelines are built at: the device's once it is open. The first
    /// call opens the device (without starting it), so that a timeline built before the first play is
    /// made at the rate it will be played at; without a device, the graph's rate.
    double outputSampleRate();

    /// The held peaks of the 32 strips and of the master bus since the last read; each is left
    /// multiplied by `meterDecay`. A strip that never joined the graph reads 0.
    MeterLevels meters();

    /// Rebuilds the audio path after a device change: stops the device, clears every node's state, drops
    /// the metronome clicks (made again at the new rate) and starts again. Strips, taps, samples and
    /// hosted units stay. Throws `AudioDeviceError`.
    void recoverAfterConfigurationChange();

    /// The main-thread pump: delivers what the audio side finished with, reports a lost device through
    /// `onConfigurationChange`. Call it every few milliseconds.
    void drainCompletions();

    /// Set by the model: called from `drainCompletions` when the output device went away.
    std::function<void()> onConfigurationChange;
    /// Set by the model: called when a hosted unit's parameters change.
    std::function<void()> onAudioUnitStateChange;

    /// Attaches and wires strip `index` on its first use; an index outside 0 ... 31 is ignored.
    void connectTrack(int index);

    // The graph, for the transport (clock following sets `transportTimePitch`'s rate), the hosting code
    // and tests.
    AudioGraph& graph() noexcept { return graph_; }
    const Track& track(int index) const { return tracks_.at(static_cast<std::size_t>(index)); }
    AudioMixerNode& masterBus() noexcept { return *masterBus_; }
    AudioPlayerNode& clockPlayer() noexcept { return *clockPlayer_; }
    AudioPlayerNode& metronomePlayer() noexcept { return *metronomePlayer_; }
    AudioEQNode& masterFilter() noexcept { return *filter_; }
    AudioDistortionNode& masterDrive() noexcept { return *drive_; }
    AudioBitCrusherNode& crusher() noexcept { return *crusher_; }
    AudioDelayNode& delay() noexcept { return *delay_; }
    AudioReverbNode& reverb() noexcept { return *reverb_; }
    AudioTimePitchNode& transportTimePitch() noexcept { return *transportTimePitch_; }
    AudioPeakLimiterNode& limiter() noexcept { return *limiter_; }
    const SampleStore& samples() const noexcept { return samples_; }

private:
    void openDevice();

    // Declared first so that it is destroyed last: the device stops before the graph goes.
    AudioGraph graph_;
    std::array<Track, trackCount> tracks_;
    SampleStore samples_;
    std::shared_ptr<AudioMixerNode> masterBus_ = std::make_shared<AudioMixerNode>();
    std::shared_ptr<AudioPlayerNode> clockPlayer_ = std::make_shared<AudioPlayerNode>();
    std::shared_ptr<AudioPlayerNode> metronomePlayer_ = std::make_shared<AudioPlayerNode>();
    std::shared_ptr<AudioEQNode> filter_ = std::make_shared<AudioEQNode>();
    std::shared_ptr<AudioDistortionNode> drive_ = std::make_shared<AudioDistortionNode>();
    std::shared_ptr<AudioBitCrusherNode> crusher_ = std::make_shared<AudioBitCrusherNode>();
    std::shared_ptr<AudioDelayNode> delay_ = std::make_shared<AudioDelayNode>();
    std::shared_ptr<AudioReverbNode> reverb_ = std::make_shared<AudioReverbNode>();
    std::shared_ptr<AudioTimePitchNode> transportTimePitch_ = std::make_shared<AudioTimePitchNode>();
    std::shared_ptr<AudioPeakLimiterNode> limiter_ = std::make_shared<AudioPeakLimiterNode>();

    std::optional<AudioDeviceSettings> deviceSettings_;
    bool running_ = false;
    std::unique_ptr<AudioDevice> device_; // last member: stopped and closed first
};

} // namespace veltrane
