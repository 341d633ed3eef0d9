#pragma once

// The export's mixdown: the one `MixdownGraph` with the export's options, built from a project with its
// inserts and hosted instruments, every strip connected before the first block. Each strip renders in
// a graph of its own (`MixdownOptions::StripRendering::apart`), so the render can run the strips on other
// threads, ahead of the master chain, which hears each strip's finished blocks through a feed.
//
// A bus parameter that automation or modulation moves starts from its neutral setting (the graph's
// `neutralizeDrivenBuses`), and the block-by-block bus update (`BusAutomation`) writes its values from
// the first block on. The setting-to-node mappings are in one place (`MixerSettings.hpp`), so the setup
// and the update always agree.
//
// Owner thread of the graph (the render's own thread); building allocates.

#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"
#include "VeltraneCore/Models/MasterFX.hpp"
#include "VeltraneCore/Models/MixerTrack.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"
#include "VeltranePlatform/Audio/AudioMIDIInstrumentNode.hpp"

#include <cstdint>
#include <memory>
#include <optional>

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

class OfflineMixdownGraph : public MixdownGraph {
public:
    static constexpr double sampleRate = MixdownOptions::exportSampleRate;
    static constexpr int blockFrames = MixdownOptions::exportBlockFrames;

    /// Builds the master chain (with its inserts) and every strip (with theirs), all set to the
    /// project's values and connected. `soloTrack` renders that track alone (a stem). Throws
    /// `RenderError::audioUnit` with the plug-in's name when an insert cannot be made.
    OfflineMixdownGraph(const Project& project, const PlaybackTimeline& timeline, std::optional<int> soloTrack,
                        OfflineUnitSource& units);

    std::optional<int> soloTrack() const noexcept { return soloTrack_; }

    /// Makes a hosted instrument and wires it into the strip of `track`. Throws `RenderError::audioUnit`.
    std::shared_ptr<AudioMIDIInstrumentNode> addInstrument(int track, const AudioUnitReference& reference,
                                                           const std::optional<Data>& state, OfflineUnitSource& units);

    /// Starts every voice at graph frame 0.
    void startVoices();

private:
    std::vector<std::shared_ptr<AudioEffectNode>> makeInserts(const std::optional<std::vector<AudioUnitSlot>>& slots,
                                                              OfflineUnitSource& units);

    std::optional<int> soloTrack_;
};

} // namespace veltrane
