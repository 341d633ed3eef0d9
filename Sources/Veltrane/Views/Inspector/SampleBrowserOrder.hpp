#pragma once

// Which sample instruments the sample browser lists for a search, and in what order: those whose name or
// one of whose tags holds the search text (letter case ignored), favourites first, then by name.
//
//     sampleBrowserOrder(project.instruments, model.sampleInstrumentIndices(), QStringLiteral("kick"))

#include "VeltraneCore/Models/Instrument.hpp"

#include <QString>

#include <vector>

namespace veltrane::inspector {

/// Whether `search` (as typed, not trimmed) finds `instrument`: an empty search finds every one.
bool sampleBrowserMatches(const Instrument& instrument, const QString& search);

/// The indices of `candidates` into `instruments` that `search` finds, favourites first, each group by
/// name with letter case folded; equal names keep their instrument order.
std::vector<int> sampleBrowserOrder(const std::vector<Instrument>& instruments, const std::vector<int>& candidates,
                                    const QString& search);

} // namespace veltrane::inspector
