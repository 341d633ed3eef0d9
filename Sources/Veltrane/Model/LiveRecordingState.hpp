#pragma once

// The held state of live MIDI recording that the model keeps.

#include "VeltraneCore/LiveRecording/LiveRecordMode.hpp"

#include <cstdint>

namespace veltrane {

/// One note held down during real-time recording: the cell it was written into and when it began.
struct RecordedMIDINote {
    int pattern = 0;
    int row = 0;
    int track = 0;
    std::int64_t startFrame = 0;  // transport frame at note on, not wrapped at the loop end
    std::int64_t rowDuration = 0; // frames of the timeline row the note was placed on

    friend bool operator==(const RecordedMIDINote&, const RecordedMIDINote&) = default;
};

/// The last timeline row emptied in replace mode, and in which pass of the timeline.
struct ReplacePosition {
    std::int64_t cycle = 0;
    int row = 0;

    friend bool operator==(const ReplacePosition&, const ReplacePosition&) = default;
};

} // namespace veltrane
