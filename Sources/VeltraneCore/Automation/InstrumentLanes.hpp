#pragma once

// The automation lanes of the instrument parameters, indexed once per timeline. A note's instrument is
// automated by the lock events of its own track that name its own instrument; every note of a song asks
// for all seventeen instrument parameters at its start, so the lanes are gathered once, per track and
// instrument, each sorted by frame, and a note's look-up is a binary search rather than a scan of every
// lock event of the song.
//
//     InstrumentLanes lanes(timeline.locks);
//     double cutoff = lanes.value(ParameterTarget::instrumentCutoff, note.startFrame, note.track,
//                                 note.instrument, 18000);
//
// The answers are exactly those of `hasAutomation` and `automationValue` (AutomationEvaluator.hpp) with
// both a track and an instrument given: before the first lock the value ramps from the default at frame
// 0, and at or before frame 0 it is the default itself. Immutable once built: safe to share between
// threads.

#include "VeltraneCore/Automation/AutomationLane.hpp"
#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane {

struct TimelineLockEvent;

class InstrumentLanes {
public:
    /// No lanes: every parameter keeps its value.
    InstrumentLanes() = default;
    /// The lanes of the instrument parameters locked by `events`, which are in timeline order.
    explicit InstrumentLanes(const std::vector<TimelineLockEvent>& events);

    /// True when a lock event of `track` naming `instrument` locks `target`.
    bool has(ParameterTarget target, int track, int instrument) const;

    /// The value of that lane at `frame`; `defaultValue` unchanged without one.
    double value(ParameterTarget target, std::int64_t frame, int track, int instrument, double defaultValue) const;

    /// How many lock events the lanes were built from.
    std::size_t eventCount() const { return eventCount_; }

private:
    static constexpr std::size_t instrumentTargetCount = 17;
    using Lanes = std::array<std::vector<automation::LanePoint>, instrumentTargetCount>;

    struct Owner {
        int track = 0;
        int instrument = 0;
        auto operator<=>(const Owner&) const = default;
    };

    const std::vector<automation::LanePoint>* lane(ParameterTarget target, int track, int instrument) const;

    // Ascending owners, each with its seventeen lanes at the same position in `lanes_`.
    std::vector<Owner> owners_;
    std::vector<Lanes> lanes_;
    std::size_t eventCount_ = 0;
};

} // namespace veltrane
