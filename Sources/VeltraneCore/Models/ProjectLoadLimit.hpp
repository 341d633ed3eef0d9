#pragma once

// What a project may hold and still be opened. Opening refuses a project beyond these limits, so saving
// refuses it too, and an edit that adds data (a sample, a plug-in state, an effect slot) can ask first
// whether the project would still fit:
//
//     if (!fitsLoadLimit(project, sampleBytes.size())) ... tell the user instead of adding it
//
// The limits: at most 8 Audio Unit effects on each track and on the master, and at most 512 MiB of
// stored data in all (embedded sample bytes, saved states of Audio Unit instruments and of every effect
// slot; sample bookmarks do not count). Only the tracks that a load keeps count: the mixer holds one track
// per channel of the widest pattern, and tracks beyond that are dropped when the project is opened.

#include "VeltraneCore/Models/Project.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace veltrane {

inline constexpr std::uint64_t maxStoredDataBytes = 536'870'912; // 512 MiB

enum class LoadLimit { trackAudioUnits, masterAudioUnits, storedData };

struct LoadLimitExcess {
    LoadLimit limit = LoadLimit::storedData;
    /// The slot count of the chain, or the stored bytes with the ones being added.
    std::uint64_t amount = 0;
    /// The track's index for `trackAudioUnits`; -1 otherwise.
    int track = -1;

    /// What is over the limit, in the user's words: "track 3 has 9 Audio Unit effects, ...".
    std::string description() const;

    friend bool operator==(const LoadLimitExcess&, const LoadLimitExcess&) = default;
};

/// The bytes of stored data the limit counts.
std::uint64_t storedDataBytes(const Project& project);

/// The first limit the project breaks (track chains, then the master chain, then stored data), counting
/// `additionalDataBytes` more of stored data; nothing when it fits.
std::optional<LoadLimitExcess> loadLimitExcess(const Project& project, std::uint64_t additionalDataBytes = 0);

/// True when the project, with `additionalDataBytes` more of stored data, would still be opened.
inline bool fitsLoadLimit(const Project& project, std::uint64_t additionalDataBytes = 0)
{
    return !loadLimitExcess(project, additionalDataBytes);
}

} // namespace veltrane
