#pragma once

// Small projects and steps shared by the transport's tests.

#include "ModelTestSupport.hpp"

#include "VeltraneCore/PlaybackTimeline/PlaybackTimeline.hpp"

#include <chrono>

namespace veltrane::testing {

using namespace std::chrono_literals;

/// Frames of one row of `songProject()` at the recording engine's 48 kHz: 120 BPM, 4 rows a beat.
inline constexpr std::int64_t rowFrames = 6000;

/// Two patterns of four rows and two tracks ("A" and "B"), arranged as the blocks A, B, A.
inline Project songProject()
{
    Project project;
    project.bpm = 120;
    project.rowsPerBeat = 4;
    project.patterns = {Pattern("A", 4, 2), Pattern("B", 4, 2)};
    project.arrangement = SongArrangement{};
    project.arrangement->blocks = {SongBlock{.pattern = 0}, SongBlock{.pattern = 1}, SongBlock{.pattern = 0}};
    project.syncOrderFromArrangement();
    return project;
}

/// Starts playback and lets the preparation task run: the model is playing afterwards.
inline void playNow(ModelHarness& harness)
{
    harness.model->play();
    harness.scheduler->advance(0ms);
}

/// Moves the engine's playing frame to `frame` and lets one position tick see it.
inline void playTo(ModelHarness& harness, std::int64_t frame)
{
    harness.engine->frame = frame;
    harness.scheduler->advance(8ms);
}

} // namespace veltrane::testing
