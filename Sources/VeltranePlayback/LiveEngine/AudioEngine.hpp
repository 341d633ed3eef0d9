#pragma once

// The live audio engine: the one object through which a project is heard. The application model makes it
// once, hands it every new project value (`apply`), starts it on the first audition or play, reads its
// meters, and pumps it from a timer on the main thread (`drainCompletions`).
//
// The graph is the one `MixdownGraph` with the live options (Mixdown/MixdownGraph.hpp):
//
//     each used strip:  8 voice players + 3 audition players -> mixer -> filter -> drive -> masterBus
//     clockPlayer (silent), metronomePlayer                                               -> masterBus
//     masterBus -> filter -> drive -> crusher -> delay -> reverb -> transportTimePitch -> limiter
//               -> main mixer (master volume) -> device
//
// All 32 strips and their players exist from the start, but a strip joins the graph only when it is
// first used, so a project of four tracks renders four strips. The nodes stay inside: the engine's
// owner reads meters, and tests render an engine without a device themselves (`renderManually`). The engine has no render callback of its
// own: notes are rendered into buffers on the main thread and queued on players with sample-accurate
// start frames; track and master settings live in node parameters (atomics).
//
// What plays, its cycles and generation, the count-in and the playing position are the transport's
// (`transport()`, Transport/PlaybackTransport.hpp): the engine starts and ends playbacks there and
// queues what each cycle the transport releases holds.
//
// Threads: every member function is for the main thread. The device thread renders the graph; what it
// finishes with (played buffers, cycle markers) comes back through `drainCompletions`, which the model
// calls from a timer (every few milliseconds) and tests call themselves. Meters are lock-free taps.

#include "VeltranePlayback/Hosting/AudioEngineHosting.hpp"
#include "VeltranePlayback/Voices/Metronome.hpp"
#include "VeltranePlayback/NotePlan/LiveNotePlan.hpp"
#include "VeltranePlayback/NotePlan/ScheduledSounds.hpp"
#include "VeltranePlayback/Voices/ContinuousModulation.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltranePlayback/Voices/ScheduledBufferKey.hpp"
#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
#include "VeltraneCore/Models/Cell.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"
#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"
#include "VeltranePlayback/Transport/PlaybackTransport.hpp"
#include "VeltranePlatform/Audio/AudioDevice.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

namespace testing {
struct AudioEngineProbe;
}

class AudioEngine {
public:
    static constexpr int trackCount = MixdownOptions::liveStripCount;
    /// Players of a strip kept for auditioned notes (a note and up to two chord notes), so that an
    /// audition never touches a player that playback uses.
    static constexpr int auditionVoiceCount = MixdownOptions::liveAuditionVoices;
    /// Each read of the meters leaves the held peaks multiplied by this.
    static constexpr float meterDecay = 0.82f;
    /// Players start this long after `schedule` returns, so the first notes reach them in time.
    static constexpr double startLeadSeconds = 0.05;
    /// Notes are rendered and queued this far ahead of the playing position...
    static constexpr double renderAheadSeconds = 2.0;
    /// ...spending at most this long per pump on notes that are not yet due within `urgentAheadSeconds`,
    /// so the main thread stays responsive; notes due sooner are rendered whatever it costs.
    static constexpr std::chrono::milliseconds renderBudgetPerPump{6};
    static constexpr double urgentAheadSeconds = 0.5;
    /// Loop cycles up to this long keep every rendered note for the next cycle; longer ones let a buffer
    /// go once it has played and render it again when it recurs, so a long song does not hold every
    /// note's audio at once.
    static constexpr double keepRenderedCycleSeconds = 30;

    using ScheduledBufferKey = veltrane::ScheduledBufferKey;
    using ContinuousModulation = veltrane::ContinuousModulation;
    using ScheduledSound = veltrane::ScheduledSound;
    using ScheduledMIDI = veltrane::ScheduledMIDI;
    using ScheduledMIDIControl = veltrane::ScheduledMIDIControl;

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

    /// For an engine without a device: renders the next `frames` frames of its graph into `buffer`
    /// (at most its capacity), as a device would. The owner renders on one thread at a time.
    void renderManually(AudioBuffer& buffer, std::int64_t frames) noexcept { graph_.manualRender(buffer, frames); }

    /// The main-thread pump: delivers what the audio side finished with, reports a lost device through
    /// `onConfigurationChange`. Call it every few milliseconds.
    void drainCompletions();

    // Playback (the transport).

    /// Starts playing `timeline` (built at `outputSampleRate()`) from the project `project`: stops what
    /// plays, applies the project, starts the engine, plans every note, renders the first ones, and starts
    /// all players together `startLeadSeconds` from now. A looping playback queues cycles 0 and 1 and then,
    /// each time a cycle is half played, the cycle after the next. `countInBeats` beats (none when not
    /// positive) come before the first row, with clicks when `metronome` is on. Returns when frame 0 will
    /// sound, in nanoseconds of the steady clock. Throws what `start` throws.
    std::uint64_t schedule(const PlaybackTimeline& timeline, const Project& project, bool looping, bool metronome,
                           int countInBeats);

    /// The same for `scope` from `startRow` and `startBlock` (see `playbackTimeline`), the timeline built
    /// at `outputSampleRate()` a window of rows at a time as the playback reaches them (`LiveNotePlan`):
    /// pressing Play on a song of any length holds a window of its notes, never the whole song. Bus
    /// automation reads the track and master lanes, and the notes its envelopes follow, a window at a time
    /// as well.
    std::uint64_t schedule(const Project& project, const PlaybackScope& scope, int startRow, int startBlock,
                           bool looping, bool metronome, int countInBeats);

    /// Ends playback at once; safe when nothing plays. Every queued continuation of the playback becomes
    /// void. Auditioned notes end too, with their retriggers still to come.
    void stop();

    /// What plays, from the count-in on, and where it is: the playing frame, the count-in, the rate.
    PlaybackTransport& transport() noexcept { return transport_; }
    const PlaybackTransport& transport() const noexcept { return transport_; }

    /// The playback frame (count-in included) before which every note of the cycles queued so far has
    /// been rendered and handed to its player. Notes are rendered a moment ahead of the playing position,
    /// never the whole timeline at once.
    std::int64_t renderedThroughFrame() const noexcept;

    /// Sets every automated or modulated track and master parameter to its value at playback `frame`
    /// (taken modulo one cycle). The transport calls it on every tick of its position loop.
    void updateAutomatedBuses(const Project& project, const PlaybackTimeline& timeline, std::int64_t frame);

    // Audition.

    /// Plays `cell` at once on strip `track`, outside the transport: its note and up to two chord notes on
    /// the strip's audition players, and its retriggers at equal steps of `duration` (pumped by
    /// `drainCompletions`). Silent for an empty, off or tie note, an instrument index outside
    /// `instruments`, a strip outside 0 ... 31, a hosted instrument, a sample not loaded, or a failed
    /// chance roll. The caller starts the engine and applies the project first.
    void trigger(const Cell& cell, int track, const std::vector<Instrument>& instruments, double duration);

    // Sample analysis for the sample editor (SampleAnalysis.cpp). Each loads the instrument's sample with
    // its current edit into the store playback reads, then reads its first channel.

    /// The waveform overview of the instrument's sample: (minimum, maximum) of about `count` buckets;
    /// empty when it has no loadable sample.
    std::vector<float> peaks(const Instrument& instrument, int count);
    /// Proposed slice points at the sample's onsets (at most 31, ascending fractions); empty when it has
    /// no loadable sample.
    std::vector<double> transientSlices(const Instrument& instrument, double sensitivity);
    /// `position` (a fraction of the sample) moved to the nearest zero crossing within 3 ms; unchanged
    /// when the instrument has no loadable sample.
    double zeroCrossingPosition(const Instrument& instrument, double position);

    /// Set by the model: called from `drainCompletions` when the output device went away.
    std::function<void()> onConfigurationChange;
    /// Set by the model: called from `drainCompletions` when a hosted unit's parameters changed.
    std::function<void()> onAudioUnitStateChange;

    // Hosted plug-ins (AudioEngineHosting.hpp).

    /// Makes every hosted unit the playback of `timeline` needs and wires the insert chains; returns the
    /// units that could not be made. Called before scheduling a playback.
    std::vector<AudioUnitLoadFailure> prepareAudioUnits(const Project& project, const PlaybackTimeline& timeline);
    /// Writes every hosted unit's state into `project`; a state that cannot be read keeps the saved one.
    void captureAudioUnitState(Project& project);
    /// Bypasses or restores the hosted effect of slot `id`, if it has one.
    void setAudioUnitEffectBypass(const Uuid& id, bool bypassed);
    /// The hosted units, made on first use: the scheduler finds an instrument's unit here.
    AudioUnitHosting& audioUnitHosting();

private:
    // The hosted units live in the graph; tests look inside through a probe of their own.
    friend class AudioUnitHosting;
    friend struct testing::AudioEngineProbe;

    std::shared_ptr<const SampleBuffer> analysedSample(const Instrument& instrument);
    struct RetriggerStep {
        std::chrono::steady_clock::time_point due;
        int track = 0;
        double duration = 0;
        int steps = 1;
        int note = 0;
        Instrument instrument;
        double volume = 1;
        double pan = 0;
    };

    void openDevice();
    std::uint64_t startPlayback(const std::function<std::unique_ptr<LiveNotePlan>()>& makePlan,
                                const std::vector<int>& usedTracks, BusAutomation buses, const Project& project,
                                bool looping, bool metronome, int countInBeats);
    /// Releases `cycle` of the playing playback and queues what it holds that is at hand now.
    void scheduleCycle(std::int64_t cycle);
    /// Queues the hosted-instrument notes and control changes of `window` in `cycle` (held back until the
    /// players have their start).
    void queueHostedEvents(std::int64_t cycle, const LiveNotePlan::Window& window);
    /// Queues the metronome's clicks on the beats among `rows` in `cycle`.
    void queueMetronome(std::int64_t cycle, const std::vector<TimelineRow>& rows);
    void prepareMetronomeBuffers();
    /// Renders and queues the notes of released cycles that start before `horizon` (a playback frame);
    /// after `deadline`, only those before `urgentHorizon`.
    void renderAhead(std::int64_t horizon, std::int64_t urgentHorizon,
                     std::optional<std::chrono::steady_clock::time_point> deadline);
    std::shared_ptr<AudioBuffer> renderAudition(int note, double gateFrames, const Instrument& instrument,
                                                double volume, double pan, const EffectParameters& effects,
                                                std::optional<int> slideFromNote);
    void playAudition(AudioPlayerNode& player, AudioBufferRef buffer);
    void playDueRetriggers();

    // Declared first so that it is destroyed last: the device stops before the graph goes.
    MixdownGraph mixdown_;
    // Short names for the parts of the graph the drivers use.
    AudioGraph& graph_ = mixdown_.graph();
    const std::shared_ptr<AudioPlayerNode>& metronomePlayer_ = mixdown_.master().metronomePlayer;
    // The root of each strip's last audition: where the next one glides from.
    std::array<std::optional<int>, trackCount> auditionRoots_{};
    SampleStore samples_;
    PlaybackTransport transport_{mixdown_.master().clockPlayer, mixdown_.master().timePitch};

    // The playback's notes, set by `schedule` and cleared by `stop`.
    std::unique_ptr<LiveNotePlan> livePlan_;
    std::vector<std::pair<std::int64_t, LiveNotePlan::Window>> heldHostedEvents_;
    // The bus lanes and routes of the playing timeline, made when playback starts.
    std::optional<BusAutomation> busAutomation_;
    std::optional<MetronomeClicks> metronomeBuffers_;
    // Rendering ahead: the cycles the transport has released may be queued; the next sound to render is
    // the plan's next in cycle `renderCycle_`.
    RenderedNoteCache renderedNotes_;
    std::int64_t renderCycle_ = 0;

    std::vector<RetriggerStep> retriggerSteps_;
    std::unique_ptr<AudioUnitHosting> hosting_;

    std::optional<AudioDeviceSettings> deviceSettings_;
    bool running_ = false;
    std::unique_ptr<AudioDevice> device_; // last member: stopped and closed first
};

} // namespace veltrane
