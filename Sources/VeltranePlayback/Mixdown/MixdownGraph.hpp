#pragma once

// The one mixdown graph that live playback and the export both play through: track strips and the
// master chain, built on our `AudioGraph` and set to a project's mixer and master values.
//
//     each strip:   8 voice players (+ audition players) + hosted instruments -> mixer -> low-pass EQ
//                   -> drive -> the strip's inserts -> master bus
//     master:       master bus (+ clock and metronome players) -> low-pass EQ -> drive -> bit crusher
//                   -> delay -> reverb -> the master's inserts (-> transport time-pitch) -> peak limiter
//                   -> the graph's main mixer (master volume)
//
// Live and export differ only by the named `MixdownOptions`: the live engine keeps 32 strips with
// audition players, meters, a silent clock player, a metronome and a time-pitch stage for a followed
// clock, and sets the limiter's times; an export has a strip per track of its project and leaves the
// limiter at its defaults.
//
//     MixdownGraph mixdown(MixdownOptions::exportRender(trackCount));
//     mixdown.applySettings(project, soloTrack);
//     mixdown.neutralizeDrivenBuses([&](ParameterTarget target, std::optional<int> track) { ... });
//     for (int i = 0; i < trackCount; ++i) mixdown.connectStrip(i);
//
// Owner thread of the graph; building and wiring allocate, setting parameters does not.

#include "VeltraneCore/Models/ParameterTarget.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"
#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioFeedNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioMixerNode.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"
#include "VeltranePlatform/Audio/AudioTimePitchNode.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

/// The limiter's attack and decay, seconds.
struct LimiterTimes {
    float attack = 0;
    float decay = 0;
};

/// Where live playback and the export differ in the graph they play through.
struct MixdownOptions {
    /// The export's rate and its longest block: bus automation is updated before each block.
    static constexpr double exportSampleRate = 44100;
    static constexpr int exportBlockFrames = 256;
    /// The live engine's strips, and the players of each kept for auditioned notes.
    static constexpr int liveStripCount = 32;
    static constexpr int liveAuditionVoices = 3;

    double sampleRate = 48000;
    int maximumFrames = AudioGraph::defaultMaximumFrames;
    /// How many strips exist. A strip renders only once it has joined the graph (`connectStrip`): live
    /// playback connects each on its first use, so a project of four tracks renders four strips; an
    /// export connects every strip before its first block.
    int stripCount = 1;
    /// Players per strip kept for auditioned notes, started when the strip joins (live).
    int auditionVoices = 0;
    /// A silent clock player and a metronome player on the master bus (live).
    bool clockAndMetronome = false;
    /// A time-pitch stage before the limiter, through which a followed clock sets the playback rate (live).
    bool transportRateStage = false;
    /// Level taps on the strips and the master bus (live meters).
    bool meters = false;
    /// Live sets the limiter's times; an export leaves it at its defaults.
    std::optional<LimiterTimes> limiterTimes;
    /// Where a strip renders. Live, in this graph. An export may put each strip (its voices, hosted
    /// instruments, mixer, filter, drive and inserts) in a graph of the strip's own
    /// (`MixdownStrip::apart`), whose blocks other threads render and sum ahead; the master bus hears
    /// the sum through a feed (`MixdownMaster::strips`), exactly as it would hear the strips.
    enum class StripRendering { inGraph, apart };
    StripRendering stripRendering = StripRendering::inGraph;

    /// The live engine's graph: 32 strips, 3 audition players each, meters, clock, metronome and
    /// transport rate stage, the limiter at 1 ms attack and 80 ms decay.
    static MixdownOptions live(double sampleRate, int maximumFrames);
    /// An export's graph: `stripCount` strips wired at once, 44,100 Hz, 256-frame blocks.
    static MixdownOptions exportRender(int stripCount);
};

struct MixdownStrip {
    std::shared_ptr<AudioMixerNode> mixer = std::make_shared<AudioMixerNode>(); // volume and pan
    std::shared_ptr<AudioEQNode> filter = std::make_shared<AudioEQNode>();
    std::shared_ptr<AudioDistortionNode> drive = std::make_shared<AudioDistortionNode>();
    std::vector<std::shared_ptr<AudioEffectNode>> inserts;
    std::array<std::shared_ptr<AudioPlayerNode>, trackerVoiceCount> voices;
    std::vector<std::shared_ptr<AudioPlayerNode>> auditionVoices;
    /// The frame until which each voice is busy, for the driver's voice allocation.
    std::array<std::int64_t, trackerVoiceCount> voiceBusyUntil{};
    /// False when the strip is silent: muted, another is soloed, or another track is rendered alone.
    bool audible = true;
    bool connected = false; // attached and wired
    /// With `MixdownOptions::StripRendering::apart`: the graph the strip renders in. Null otherwise.
    std::shared_ptr<AudioGraph> apart;
};

struct MixdownMaster {
    std::shared_ptr<AudioMixerNode> bus = std::make_shared<AudioMixerNode>();
    /// With `MixdownOptions::StripRendering::apart`, the strips' sum, the bus's first input. Null otherwise.
    std::shared_ptr<AudioFeedNode> strips;
    std::shared_ptr<AudioPlayerNode> clockPlayer;     // live only
    std::shared_ptr<AudioPlayerNode> metronomePlayer; // live only
    std::shared_ptr<AudioEQNode> filter = std::make_shared<AudioEQNode>();
    std::shared_ptr<AudioDistortionNode> drive = std::make_shared<AudioDistortionNode>();
    std::shared_ptr<AudioBitCrusherNode> crusher = std::make_shared<AudioBitCrusherNode>();
    std::shared_ptr<AudioDelayNode> delay = std::make_shared<AudioDelayNode>();
    std::shared_ptr<AudioReverbNode> reverb = std::make_shared<AudioReverbNode>();
    std::vector<std::shared_ptr<AudioEffectNode>> inserts;
    std::shared_ptr<AudioTimePitchNode> timePitch; // live only
    std::shared_ptr<AudioPeakLimiterNode> limiter = std::make_shared<AudioPeakLimiterNode>();
};

class MixdownGraph {
public:
    /// Which bus parameters lanes or routes move: a track target with its track, a master one without.
    using DrivenBus = std::function<bool(ParameterTarget target, std::optional<int> track)>;

    /// Builds and wires the master chain and makes the strips, not yet connected. The nodes start at
    /// the settings of a project without mixer entries or master effects.
    explicit MixdownGraph(const MixdownOptions& options);
    MixdownGraph(const MixdownGraph&) = delete;
    MixdownGraph& operator=(const MixdownGraph&) = delete;

    AudioGraph& graph() noexcept { return graph_; }
    const AudioGraph& graph() const noexcept { return graph_; }
    const MixdownOptions& options() const noexcept { return options_; }
    MixdownMaster& master() noexcept { return master_; }
    const MixdownMaster& master() const noexcept { return master_; }
    std::vector<MixdownStrip>& strips() noexcept { return strips_; }
    const std::vector<MixdownStrip>& strips() const noexcept { return strips_; }
    int stripCount() const noexcept { return static_cast<int>(strips_.size()); }

    /// Attaches strip `index` when it is not yet and wires it as voices -> mixer -> filter -> drive ->
    /// its `inserts` -> master bus; meters it and starts its audition players. An index outside the
    /// strips is ignored. Strips join the master bus in the order they connect.
    void connectStrip(int index);

    /// Writes the project's master volume, master effects and every strip's mixer settings to the
    /// nodes. `soloTrack` leaves every other strip silent (a stem).
    void applySettings(const Project& project, std::optional<int> soloTrack = std::nullopt);

    /// Puts every bus parameter that `driven` names into its neutral state, so nothing of the static
    /// value shows before the first bus update: volumes 1 (a silent strip stays silent), pan 0, filters
    /// open, drive, crusher, delay and reverb dry. Delay time and feedback have no neutral state.
    void neutralizeDrivenBuses(const DrivenBus& driven);

    // A moving setting written to its nodes, by the formulas of the static settings (`MixerSettings.hpp`),
    // so a lane that holds the static value sounds exactly like no lane at all.
    void setStripDrive(MixdownStrip& strip, double drive);
    void setMasterDrive(double drive);
    void setMasterBitDepth(double bitDepth);

    /// Attaches a hosted instrument and wires it into strip `index`'s mixer (connecting the strip).
    void attachInstrument(int index, const std::shared_ptr<AudioNode>& instrument);
    /// Makes `units` the inserts of strip `index`, wired as drive -> units in order -> master bus once
    /// the strip is connected. Units are attached here; units that leave a chain are not disconnected.
    void setStripInserts(int index, std::vector<std::shared_ptr<AudioEffectNode>> units);
    /// Wires the master as reverb -> `units` in order -> the stage after them.
    void setMasterInserts(std::vector<std::shared_ptr<AudioEffectNode>> units);

    /// Frames by which the master chain delays everything (the limiter's look-ahead, and any insert's).
    std::int64_t latencyFrames() const noexcept;

private:
    AudioNode& afterMasterInserts() noexcept;
    // The graph a strip's nodes belong to, and the node its chain ends in there.
    AudioGraph& stripGraph(MixdownStrip& strip);
    AudioNode& stripEnd(MixdownStrip& strip);

    MixdownOptions options_;
    // Declared before the nodes' owners so that it goes last.
    AudioGraph graph_;
    MixdownMaster master_;
    std::vector<MixdownStrip> strips_;
};

} // namespace veltrane
