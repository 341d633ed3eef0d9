#pragma once

// Track and master parameters that follow automation lanes and modulation routes while a song plays,
// written into the strips and the master chain of a `MixdownGraph`. Live playback updates them on every
// tick of the transport's position loop, the export before every 256-frame block; only parameters with a
// lane or route are evaluated and written, in a fixed order: for each track trackVolume, trackPan,
// trackCutoff, trackResonance, trackDrive; then masterVolume, masterCutoff, masterResonance, masterDrive,
// masterBitDepth, masterDelay, masterDelayTime, masterDelayFeedback, masterReverb.
//
// A value is the lane's value at the frame, then the routes added on top. Envelope routes on a bus run
// from the last note that started on that track (any track for the master) by the frame.
//
//     BusAutomation buses(project, timeline, mixdown.stripCount(), BusAutomation::Options::exportRender());
//     buses.update(mixdown, frame);   // before each block
//
// A long song's lanes and notes are read a window at a time instead (`BusAutomationWindows`), as the
// frames asked for reach them: the values are those of the whole timeline, and what is held stays a
// window's worth however long the song.
//
// Everything it reads is its own copy: the project (copy-on-write, so cheap), the lanes and the notes'
// timing. Owner thread of the graph.

#include "VeltranePlayback/Mixdown/BusAutomationWindows.hpp"
#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"
#include "VeltraneCore/Automation/AutomationEvaluator.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace veltrane {

class BusAutomation {
public:
    /// Where live playback and the export differ.
    struct Options {
        /// Live playback loops: lanes and routes start again with every loop cycle (the frame is taken
        /// modulo the timeline's length). An export plays the song once, so after its end (the release
        /// tail) every lane holds its last value.
        bool wrapsAtLoopCycle = false;
        /// Live leaves a strip without a mixer entry alone, at its neutral setting; an export plays it
        /// with the default strip's values as the base of its lanes.
        bool stripsWithoutMixerEntryFollow = true;

        static Options live() { return Options{.wrapsAtLoopCycle = true, .stripsWithoutMixerEntryFollow = false}; }
        static Options exportRender() { return Options{}; }
    };

    /// The note timing an envelope on a bus follows: the start and length, in frames, of a note.
    struct NoteTiming {
        std::int64_t start = 0;
        std::int64_t duration = 1;
        friend bool operator==(const NoteTiming&, const NoteTiming&) = default;
    };

    /// One bus parameter that lock events or routes move, with the value they start from.
    struct Refresh {
        ParameterTarget target = ParameterTarget::trackVolume;
        std::optional<int> track; // none for a master parameter
        double base = 0;
        friend bool operator==(const Refresh&, const Refresh&) = default;
    };

    /// For the bus parameters of `project` over `stripCount` strips, along `timeline`.
    BusAutomation(const Project& project, const PlaybackTimeline& timeline, int stripCount, Options options);
    /// The same along the timeline that `windows` holds a window of at a time.
    BusAutomation(const Project& project, BusAutomationWindows windows, int stripCount, Options options);

    /// True when lock events or modulation routes move the bus parameter (master targets: no track).
    static bool isDriven(ParameterTarget target, std::optional<int> track, const Project& project,
                         const PlaybackTimeline& timeline);
    /// The same along this automation's timeline, with its project's routes.
    bool drives(ParameterTarget target, std::optional<int> track) const;

    /// The project whose settings are the lanes' bases.
    const Project& project() const noexcept { return project_; }
    /// Takes the bases and routes from `project` from now on (an edit while playing); lanes stay.
    void setProject(const Project& project);

    /// Writes every automated or modulated bus parameter at playback `frame` into `mixdown`.
    void update(MixdownGraph& mixdown, std::int64_t frame);

    /// What `update` would write at `frame` for `stripCount` strips, one value per refresh in the order
    /// of `refreshes()` (none for a track beyond the strips), without writing it: an export evaluates its
    /// blocks ahead and has each part of the graph take its values when it renders the block.
    void evaluate(std::int64_t frame, int stripCount, std::vector<double>& values);
    /// Writes one refresh's value into `mixdown`, as `update` does. Touches only the nodes of the
    /// refresh's strip (or the master's), so strips may be written from the threads that render them.
    static void write(MixdownGraph& mixdown, const Refresh& refresh, double value);

    /// The value a bus parameter has at playback `frame` (track parameters with their track, master
    /// ones without).
    double value(ParameterTarget target, double base, std::int64_t frame, std::optional<int> track);

    /// True when an envelope source moves the bus parameter: a route of the target from an envelope
    /// source, for no instrument, and for no track or (for a track parameter) this track.
    bool usesEnvelope(ParameterTarget target, std::optional<int> track) const;

    /// The note an envelope on the bus of `track` (none: the master) follows at timeline frame `frame`:
    /// the last note of that track (of any track for the master) started at or before it; (frame, 1)
    /// when none.
    NoteTiming envelopeContext(std::optional<int> track, std::int64_t frame);

    /// The parameters `update` writes, in the order it writes them.
    const std::vector<Refresh>& refreshes() const noexcept { return refreshes_; }

private:
    void plan();
    /// Takes the lanes and notes of `timeline`.
    void read(const PlaybackTimeline& timeline);
    std::int64_t timelineFrame(std::int64_t frame) const noexcept;

    Options options_;
    Project project_;
    int stripCount_;
    AutomationEvaluator evaluator_;
    std::int64_t totalFrames_;
    double sampleRate_;
    // Start and length of every note, in timeline order, and the same per track, so the last note of a
    // track before a frame is one binary search away instead of a scan of the whole song.
    std::vector<NoteTiming> notes_;
    std::unordered_map<int, std::vector<NoteTiming>> notesByTrack_;
    std::unordered_set<Uuid> envelopeSources_;
    std::vector<Refresh> refreshes_;
    // The envelope timing per track (-1 for the master), for the frame of one update.
    std::unordered_map<int, NoteTiming> envelopeCache_;
    std::int64_t cachedFrame_ = -1;
    // A long song's timeline, a window at a time; the lanes and notes above are then the window's.
    std::optional<BusAutomationWindows> windows_;
};

} // namespace veltrane
