#pragma once

// Automated and modulated buses during an export. Before every block the renderer calls `update` with
// the block's first frame; it writes into the strips and the master chain the current value of every
// track or master parameter that lock events automate or modulation routes move, in a fixed order: for
// each track trackVolume, trackPan, trackCutoff, trackResonance, trackDrive; then masterVolume,
// masterCutoff, masterResonance, masterDrive, masterBitDepth, masterDelay, masterDelayTime,
// masterDelayFeedback, masterReverb.
//
// A value is the lane's value at the frame, then the routes added on top. Envelope routes on a bus run
// from the last note that started on that track (any track for the master) by the block's frame.
//
//     OfflineBusAutomation buses(project, timeline, mixdown);
//     buses.update(frame);   // before each block
//
// The project, timeline and graph must outlive the object. Owner thread of the graph.

#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"
#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace veltrane {

class OfflineBusAutomation {
public:
    /// The note timing an envelope on a bus follows: the start and length, in frames, of a note.
    struct NoteTiming {
        std::int64_t start = 0;
        std::int64_t duration = 1;
        friend bool operator==(const NoteTiming&, const NoteTiming&) = default;
    };

    OfflineBusAutomation(const Project& project, const PlaybackTimeline& timeline, OfflineMixdownGraph& mixdown);

    /// One bus parameter that lock events or routes move, with the value they start from.
    struct Refresh {
        ParameterTarget target = ParameterTarget::trackVolume;
        std::optional<int> track; // none for a master parameter
        double base = 0;
        friend bool operator==(const Refresh&, const Refresh&) = default;
    };

    /// Writes every automated or modulated bus parameter for the block that starts at `frame`.
    void update(std::int64_t frame);

    /// The value a bus parameter has at `frame` (track parameters with their track, master ones without).
    double value(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track);

    /// True when an envelope source moves the bus parameter: a route of the target from an envelope
    /// source, for no instrument, and for no track or (for a track parameter) this track.
    bool usesEnvelope(ParameterTarget target, std::optional<int> track) const;

    /// The note an envelope on the bus of `track` (none: the master) follows at `frame`: the last note
    /// of that track (of any track for the master) started at or before `frame`; (frame, 1) when none.
    NoteTiming envelopeContext(std::optional<int> track, std::int64_t frame);

    /// The parameters `update` writes, in the order it writes them.
    const std::vector<Refresh>& refreshes() const noexcept { return refreshes_; }

private:
    bool refreshed(ParameterTarget target, std::optional<int> track) const;

    const Project& project_;
    const PlaybackTimeline& timeline_;
    OfflineMixdownGraph& mixdown_;
    AutomationEvaluator evaluator_;
    MasterFX master_;
    std::unordered_set<Uuid> envelopeSources_;
    std::unordered_map<int, std::vector<std::size_t>> notesByTrack_; // indices into the timeline's notes
    std::vector<Refresh> refreshes_;
    // The envelope timing per track (-1 for the master), for the frame of one update.
    std::unordered_map<int, NoteTiming> envelopeCache_;
    std::int64_t cachedFrame_ = -1;
};

} // namespace veltrane
