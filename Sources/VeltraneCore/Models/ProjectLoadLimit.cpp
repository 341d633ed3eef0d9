#include "VeltraneCore/Models/ProjectLoadLimit.hpp"

#include <algorithm>

namespace veltrane {

namespace {

/// The number of mixer tracks a load keeps: one per channel of the widest pattern.
std::size_t keptTrackCount(const Project& project)
{
    int widest = 0;
    for (const auto& pattern : project.patterns) widest = std::max(widest, pattern.channels);
    return std::min(project.mixer.size(), static_cast<std::size_t>(widest));
}

std::uint64_t slotStateBytes(const std::optional<std::vector<AudioUnitSlot>>& slots)
{
    std::uint64_t bytes = 0;
    if (!slots) return bytes;
    for (const auto& slot : *slots) {
        if (slot.state) bytes += slot.state->size();
    }
    return bytes;
}

std::size_t slotCount(const std::optional<std::vector<AudioUnitSlot>>& slots) { return slots ? slots->size() : 0; }

/// 536870912 as "536,870,912".
std::string withThousandsSeparators(std::uint64_t value)
{
    const std::string digits = std::to_string(value);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
        text.push_back(digits[i]);
    }
    return text;
}

} // namespace

std::string LoadLimitExcess::description() const
{
    switch (limit) {
    case LoadLimit::trackAudioUnits:
        return "track " + std::to_string(track + 1) + " has " + std::to_string(amount) +
               " Audio Unit effects, more than the " + std::to_string(maxAudioUnitSlots) +
               " a track can hold. Remove an effect from the track and save again.";
    case LoadLimit::masterAudioUnits:
        return "the master has " + std::to_string(amount) + " Audio Unit effects, more than the " +
               std::to_string(maxAudioUnitSlots) + " it can hold. Remove an effect from the master and save again.";
    case LoadLimit::storedData:
        break;
    }
    return "its embedded samples and saved Audio Unit states take " + withThousandsSeparators(amount) +
           " bytes, more than the " + withThousandsSeparators(maxStoredDataBytes) +
           " bytes (512 MiB) a project can hold and still be opened. Remove an embedded sample or an Audio Unit and "
           "save again.";
}

std::uint64_t storedDataBytes(const Project& project)
{
    std::uint64_t bytes = 0;
    for (const auto& instrument : project.instruments) {
        if (const auto* embedded = std::get_if<EmbeddedSource>(&instrument.source)) bytes += embedded->data.size();
        if (const auto* unit = std::get_if<AudioUnitSource>(&instrument.source); unit && unit->state) {
            bytes += unit->state->size();
        }
    }
    const std::size_t tracks = keptTrackCount(project);
    for (std::size_t track = 0; track < tracks; ++track) bytes += slotStateBytes(project.mixer[track].audioUnits);
    if (project.masterFX) bytes += slotStateBytes(project.masterFX->audioUnits);
    return bytes;
}

std::optional<LoadLimitExcess> loadLimitExcess(const Project& project, std::uint64_t additionalDataBytes)
{
    const std::size_t tracks = keptTrackCount(project);
    for (std::size_t track = 0; track < tracks; ++track) {
        const std::size_t count = slotCount(project.mixer[track].audioUnits);
        if (count > static_cast<std::size_t>(maxAudioUnitSlots)) {
            return LoadLimitExcess{.limit = LoadLimit::trackAudioUnits, .amount = count, .track = static_cast<int>(track)};
        }
    }
    if (project.masterFX) {
        const std::size_t count = slotCount(project.masterFX->audioUnits);
        if (count > static_cast<std::size_t>(maxAudioUnitSlots)) {
            return LoadLimitExcess{.limit = LoadLimit::masterAudioUnits, .amount = count};
        }
    }
    const std::uint64_t stored = storedDataBytes(project);
    // Compared without forming the sum, which a caller's huge `additionalDataBytes` could overflow.
    if (stored > maxStoredDataBytes || additionalDataBytes > maxStoredDataBytes - stored) {
        const std::uint64_t total = additionalDataBytes > UINT64_MAX - stored ? UINT64_MAX : stored + additionalDataBytes;
        return LoadLimitExcess{.limit = LoadLimit::storedData, .amount = total};
    }
    return std::nullopt;
}

} // namespace veltrane
