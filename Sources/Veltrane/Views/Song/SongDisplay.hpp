#pragma once

// What the sidebar and the song timeline show of the song, worked out afresh from the project each time
// they are drawn: the blocks (from the order when a project has no song), the markers of a block and
// whether a block lies in the enabled loop region.

#include "VeltraneCore/Models/Project.hpp"

#include <QString>

#include <vector>

namespace veltrane {

/// The song's blocks; without a song, one block of one repeat per order entry.
std::vector<SongBlock> displayedSongBlocks(const Project& project);

/// The markers on block `index`, in stored order; none without a song.
std::vector<SongMarker> markersOfBlock(const Project& project, int index);

/// True when `song`'s loop is on and `index` lies between its start and end blocks.
bool blockInLoop(const SongArrangement& song, int index);
bool blockInLoop(const Project& project, int index);

/// The name of the pattern a block plays, or "Missing" when no such pattern exists.
QString blockPatternName(const std::vector<Pattern>& patterns, int pattern);

/// "1–4": a loop region's blocks counted from 1, for the sidebar's toggle and the timeline's header.
QString loopRangeText(const SongLoopRegion& loop);

/// "×" and the repeat count.
QString repeatsText(int repeats);

} // namespace veltrane
