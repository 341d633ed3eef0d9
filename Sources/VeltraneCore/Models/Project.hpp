#pragma once

// The whole document: a tree of plain values. Cells refer to instruments by index; blocks, order entries
// and markers refer to patterns and blocks by index; modulation routes refer to sources by identifier.
//
// `Project{}` is the new-project document: one 64 × 8 pattern "Pattern 1", the four synths "Sine",
// "Triangle", "Saw" and "Square", eight mixer tracks, and every optional section present (master
// effects, swing 0, a song of one block playing pattern 0 once, an empty modulation rack). A reader that
// fills a project from a file sets every field itself, absent sections included.
//
// Copying is cheap: the pattern grids and the data blobs are shared until one side writes to them, so
// whole copies serve as undo steps, and equality of copies of an unedited pattern is a pointer check.
// Equality compares every field, identifiers included.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/MasterFX.hpp"
#include "VeltraneCore/Models/MixerTrack.hpp"
#include "VeltraneCore/Models/ModulationRack.hpp"
#include "VeltraneCore/Models/Pattern.hpp"
#include "VeltraneCore/Models/SongArrangement.hpp"

#include <optional>
#include <string>
#include <vector>

namespace veltrane {

inline constexpr int projectFormatVersion = 1;

struct Project {
    int version = projectFormatVersion;
    std::string name = "Untitled";
    double bpm = 124;
    int rowsPerBeat = 4;
    std::vector<Pattern> patterns = newProjectPatterns();
    std::vector<int> order{0}; // pattern indices in playing order
    std::vector<Instrument> instruments = newProjectInstruments();
    std::vector<MixerTrack> mixer = std::vector<MixerTrack>(8); // one per track (channel)
    double masterVolume = 0.8;
    std::optional<MasterFX> masterFX = MasterFX{};
    std::optional<double> swing = 0.0; // 0 to 1
    std::optional<SongArrangement> arrangement = newProjectArrangement();
    std::optional<ModulationRack> modulation = ModulationRack{};

    /// Checks a project read from a file and repairs what can be repaired safely: afterwards every
    /// pattern has a full grid of valid cells, the song has at least one block, `order` is the expansion
    /// of the blocks, the mixer has one track per channel of the widest pattern, the master section and
    /// swing are present, and every value, index and reference is in range. Throws
    /// `ProjectError::invalid()` when the project cannot be used; the project is then partly repaired
    /// and must be discarded. Unchanged patterns keep sharing their grids. (ProjectRepair.cpp)
    void normalize();

    /// Appends a copy of pattern `cloning` (named with " Copy" added), or, without a valid source, an
    /// empty pattern "Pattern <count + 1>" of the first pattern's size (64 × 8 when there is none). The
    /// new pattern has a new identifier and plays nowhere yet. Returns its index. (PatternList.cpp)
    int addPattern(std::optional<int> cloning = std::nullopt);
    /// Removes pattern `index` (nothing when it is out of range or the last one left). Order entries and
    /// song blocks that named it move to the pattern that took its place, or to the new last pattern;
    /// later ones shift down by one. Blocks, markers and the loop are kept. (PatternList.cpp)
    void removePattern(int index);
    /// Rebuilds `order` as the expansion of the song blocks; nothing without an arrangement.
    /// (PatternList.cpp)
    void syncOrderFromArrangement();

    static std::vector<Pattern> newProjectPatterns();
    static std::vector<Instrument> newProjectInstruments();
    static SongArrangement newProjectArrangement();

    friend bool operator==(const Project&, const Project&) = default;
};

} // namespace veltrane
