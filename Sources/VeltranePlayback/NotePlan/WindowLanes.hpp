#pragma once

// The instrument automation lanes a window of a long song needs. A lane's value at a note's start is read
// from the lane's points on either side of it, and those may lie far outside the window: a lock at the
// song's start holds until the next one, and a lane ramps towards its next lock however far ahead it is.
// So a window planned on its own would read other values than the whole timeline gives. This keeps, as
// the windows of one pass go by in order, the last point of every lane so far, and finds the next point
// of each lane the window's notes read by scanning the lock events after the window (only as far as
// needed, and remembered until the playback passes the point), then hands the window its own lock events
// with those points around them: the window's notes then read exactly what the whole timeline gives.
// It holds a few points per lane, never the song's lock events.
//
//     WindowLanes lanes(project, scope, startRow, startBlock, sampleRate);
//     PlaybackTimeline window = playbackTimeline(..., TimelineWindow{first, count});
//     lanes.complete(window, first + count);     // each window of a pass, in order
//     lanes.restart();                           // a new pass
//
// Main thread.

#include "VeltraneCore/Automation/AutomationLane.hpp"
#include "VeltraneCore/Models/Project.hpp"
#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

namespace veltrane {

class WindowLanes {
public:
    WindowLanes(const Project& project, PlaybackScope scope, int startRow, int startBlock, double sampleRate);

    /// Gives `window` (the listed rows up to, not including, `endRow`, the next window of this pass) the
    /// lane points before and after it that its notes read, and takes note of its own points.
    void complete(PlaybackTimeline& window, std::int64_t endRow);

    /// Forgets the points passed: the next window begins a pass.
    void restart();

private:
    using Key = std::tuple<int, int, int>; // track, instrument, target index

    struct Ahead {
        std::int64_t scannedFromFrame = 0;    // the scan began at the row starting here
        std::optional<automation::LanePoint> point; // its first point from there; none: the lane ends before
    };

    const Project& project_;
    PlaybackScope scope_;
    int startRow_;
    int startBlock_;
    double sampleRate_;
    // Which instrument targets each track locks anywhere in the project's patterns: no lane can exist
    // without, so nothing is looked for.
    std::vector<std::vector<int>> lockedTargets_;
    std::map<Key, automation::LanePoint> before_;
    std::map<Key, Ahead> ahead_;
};

} // namespace veltrane
