#pragma once

// The song: blocks that each play one pattern a number of times, named markers on blocks and a loop
// region over blocks. The project's flat pattern order is the expansion of the blocks.

#include "VeltraneCore/Models/Uuid.hpp"

#include <string>
#include <vector>

namespace veltrane {

struct SongBlock {
    Uuid id = Uuid::random();
    int pattern = 0; // index into Project::patterns
    int repeats = 1; // 1 to 64

    friend bool operator==(const SongBlock&, const SongBlock&) = default;
};

struct SongMarker {
    Uuid id = Uuid::random();
    std::string name;
    int block = 0; // index into SongArrangement::blocks

    friend bool operator==(const SongMarker&, const SongMarker&) = default;
};

/// Block indices, both inclusive.
struct SongLoopRegion {
    int startBlock = 0;
    int endBlock = 0;
    bool enabled = false;

    friend bool operator==(const SongLoopRegion&, const SongLoopRegion&) = default;
};

struct SongArrangement {
    std::vector<SongBlock> blocks; // in playing order
    std::vector<SongMarker> markers;
    SongLoopRegion loop;

    friend bool operator==(const SongArrangement&, const SongArrangement&) = default;
};

} // namespace veltrane
