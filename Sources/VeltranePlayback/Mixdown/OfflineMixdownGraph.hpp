#pragma once

// The export's private audio graph: the master chain and one strip per track, built from a project and
// set to its mixer and master values.
//
//     track strip:   8 players + hosted instruments → mixer → low-pass EQ → drive → inserts ─┐
//     master chain:  master bus ← every strip; → low-pass EQ → drive → bit crusher → delay → reverb
//                    → inserts → peak limiter → the graph's main mixer (master volume)
//
// A bus parameter that automation or modulation moves starts from a neutral setting here (volume 1,
// filter open at 20 kHz, drive, crusher, delay and reverb dry), and the block-by-block bus update
// (`OfflineBusAutomation`) writes its values from the first block on. The setting-to-node mappings are
// in one place (the `apply…` functions), so the setup and the update always agree.
//
// Owner thread of the graph (the render's own thread); building allocates.

#include "VeltraneCore/Models/MasterFX.hpp"
#include "VeltraneCore/Models/MixerTrack.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"
#include "VeltranePlatform/Audio/AudioBitCrusherNode.hpp"
#include "VeltranePlatform/Audio/AudioDelayNode.hpp"
#include "VeltranePlatform/Audio/AudioDistortionNode.hpp"
#include "VeltranePlatform/Audio/AudioEQNode.hpp"
#include "VeltranePlatform/Audio/AudioGraph.hpp"
#include "VeltranePlatform/Audio/AudioMIDIInstrumentNode.hpp"
#include "VeltranePlatform/Audio/AudioMixerNode.hpp"
#include "VeltranePlatform/Audio/AudioPeakLimiterNode.hpp"
#include "VeltranePlatform/Audio/AudioPlayerNode.hpp"
#include "VeltranePlatform/Audio/AudioReverbNode.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace veltrane {

/// Where a render gets its hosted plug-ins. Each call makes a new unit with `state` restored, running at
/// 44,100 Hz; a unit that cannot be made throws (any exception: the render reports the unit by name).
class OfflineUnitSource {
public:
    virtual ~OfflineUnitSource() = default;
    virtual std::shared_ptr<AudioMIDIInstrumentNode> instrument(const AudioUnitReference& reference,
                                                                const std::optional<Data>& state) = 0;
    virtual std::shared_ptr<AudioEffectNode> effect(const AudioUnitReference& reference,
                                                    const std::optional<Data>& state) = 0;
};

/// The master settings a render uses: the project's, or the defaults when it has none; a missing bit
/// depth reads as 16.
MasterFX effectiveMasterSettings(const Project& project);

/// The strip of track `index`: the project's, or the default strip for a track beyond the mixer.
MixerTrack effectiveTrackSettings(const Project& project, int index);

/// The number of strips: the most channels of any pattern, at least 1.
int offlineTrackCount(const Project& project);

/// True when lock events or modulation routes move the bus parameter (master targets: no track).
bool isBusParameterDriven(ParameterTarget target, std::optional<int> track, const Project& project,
                          const PlaybackTimeline& timeline);

// A setting written to its nodes, by the formulas the live engine uses too (`MixerSettings.hpp`), so the
// setup and the bus update always agree.
void applyTrackDrive(AudioDistortionNode& node, double drive);
void applyMasterDrive(AudioDistortionNode& node, double drive);
/// Wet/dry only; rounding and decimation are `applyBitCrusherDepth`.
void applyBitCrusherMix(AudioBitCrusherNode& node, double bitDepth);
void applyBitCrusherDepth(AudioBitCrusherNode& node, double bitDepth);

struct OfflineTrackStrip {
    std::shared_ptr<AudioMixerNode> mixer;
    std::shared_ptr<AudioEQNode> filter;
    std::shared_ptr<AudioDistortionNode> drive;
    std::vector<std::shared_ptr<AudioEffectNode>> inserts;
    std::array<std::shared_ptr<AudioPlayerNode>, trackerVoiceCount> voices;
    /// The frame until which each voice is busy.
    std::array<std::int64_t, trackerVoiceCount> voiceBusyUntil{};
    /// False when the strip is silent: another track is rendered alone, it is muted, or another is soloed.
    bool audible = true;
};

struct OfflineMasterChain {
    std::shared_ptr<AudioMixerNode> bus;
    std::shared_ptr<AudioEQNode> filter;
    std::shared_ptr<AudioDistortionNode> drive;
    std::shared_ptr<AudioBitCrusherNode> crusher;
    std::shared_ptr<AudioDelayNode> delay;
    std::shared_ptr<AudioReverbNode> reverb;
    std::vector<std::shared_ptr<AudioEffectNode>> inserts;
    std::shared_ptr<AudioPeakLimiterNode> limiter;
};

class OfflineMixdownGraph {
public:
    static constexpr double sampleRate = 44100;
    /// The longest block rendered at once; bus automation is updated before each.
    static constexpr int blockFrames = 256;

    /// Builds the master chain (with its inserts) and every strip (with theirs), all set to the
    /// project's values. `soloTrack` renders that track alone (a stem). Throws `RenderError::audioUnit`
    /// with the plug-in's name when an insert cannot be made.
    OfflineMixdownGraph(const Project& project, const PlaybackTimeline& timeline, std::optional<int> soloTrack,
                        OfflineUnitSource& units);

    AudioGraph& graph() noexcept { return *graph_; }
    OfflineMasterChain& master() noexcept { return master_; }
    std::vector<OfflineTrackStrip>& strips() noexcept { return strips_; }
    std::optional<int> soloTrack() const noexcept { return soloTrack_; }

    /// Makes a hosted instrument and wires it into the strip of `track`. Throws `RenderError::audioUnit`.
    std::shared_ptr<AudioMIDIInstrumentNode> addInstrument(int track, const AudioUnitReference& reference,
                                                           const std::optional<Data>& state, OfflineUnitSource& units);

    /// Starts every voice at graph frame 0.
    void startVoices();

    /// Frames by which the master chain delays everything (the limiter's look-ahead).
    std::int64_t latencyFrames() const noexcept;

private:
    void buildMaster(const Project& project, const PlaybackTimeline& timeline, OfflineUnitSource& units);
    void buildStrip(int index, const Project& project, const PlaybackTimeline& timeline, bool someTrackSoloed,
                    OfflineUnitSource& units);
    std::shared_ptr<AudioEffectNode> makeInsert(const AudioUnitSlot& slot, OfflineUnitSource& units);

    std::unique_ptr<AudioGraph> graph_;
    OfflineMasterChain master_;
    std::vector<OfflineTrackStrip> strips_;
    std::optional<int> soloTrack_;
};

} // namespace veltrane
