#include "VeltraneCore/Models/ModulationRack.hpp"

#include <algorithm>

namespace veltrane {

std::string_view toRawValue(ModulationSourceKind kind)
{
    switch (kind) {
    case ModulationSourceKind::lfo: return "LFO";
    case ModulationSourceKind::envelope: return "Envelope";
    case ModulationSourceKind::macro: return "Macro";
    }
    return "LFO";
}

template <>
std::optional<ModulationSourceKind> fromRawValue<ModulationSourceKind>(std::string_view rawValue)
{
    for (const auto kind : allModulationSourceKinds) {
        if (toRawValue(kind) == rawValue) return kind;
    }
    return std::nullopt;
}

std::string_view toRawValue(ModulationWaveform waveform)
{
    switch (waveform) {
    case ModulationWaveform::sine: return "sine";
    case ModulationWaveform::triangle: return "triangle";
    case ModulationWaveform::saw: return "saw";
    case ModulationWaveform::square: return "square";
    case ModulationWaveform::random: return "random";
    }
    return "sine";
}

template <>
std::optional<ModulationWaveform> fromRawValue<ModulationWaveform>(std::string_view rawValue)
{
    for (const auto waveform : allModulationWaveforms) {
        if (toRawValue(waveform) == rawValue) return waveform;
    }
    return std::nullopt;
}

const ModulationSource* ModulationRack::source(const Uuid& id) const
{
    const auto found = std::find_if(sources.begin(), sources.end(),
                                    [&id](const ModulationSource& candidate) { return candidate.id == id; });
    return found == sources.end() ? nullptr : &*found;
}

ModulationSourceIndex::ModulationSourceIndex(const ModulationRack& rack)
{
    sources_.reserve(rack.sources.size());
    for (const auto& source : rack.sources) sources_.push_back(&source);
    std::stable_sort(sources_.begin(), sources_.end(),
                     [](const ModulationSource* a, const ModulationSource* b) { return a->id < b->id; });
}

const ModulationSource* ModulationSourceIndex::find(const Uuid& id) const
{
    const auto found = std::lower_bound(sources_.begin(), sources_.end(), id,
                                        [](const ModulationSource* source, const Uuid& wanted) { return source->id < wanted; });
    return found != sources_.end() && (*found)->id == id ? *found : nullptr;
}

} // namespace veltrane
