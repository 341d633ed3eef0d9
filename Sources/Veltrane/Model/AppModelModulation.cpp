// The modulation rack: adding, changing and removing sources and routes.

#include "Veltrane/Model/AppModel.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

bool isLoadable(const ModulationSource& source)
{
    for (const double value : {source.rateBeats, source.phase, source.attack, source.decay, source.sustain,
                               source.release, source.macroValue}) {
        if (!std::isfinite(value)) return false;
    }
    return true;
}

bool isLoadable(const ModulationRoute& route) { return std::isfinite(route.amount); }

/// A route's scope follows its target: a track target acts on the cursor's track, an instrument target
/// on the selected instrument, a master target on everything.
void scopeRoute(ModulationRoute& route, ParameterTarget target, int track, int instrument)
{
    route.target = target;
    route.track = isTrackTarget(target) ? std::optional(track) : std::nullopt;
    route.instrument = isInstrumentTarget(target) ? std::optional(instrument) : std::nullopt;
}

/// Finds the first element with `id` and changes a copy of it; the change is stored by one undo step.
/// Nothing happens without a rack or such an element, or when the changed value could not be saved.
template <typename Element>
void updateRackElement(AppModel& model, std::vector<Element> ModulationRack::*list, const Uuid& id,
                       const std::function<void(Element&)>& change)
{
    const auto& rack = model.project().modulation;
    if (!rack) return;
    const auto& elements = (*rack).*list;
    const auto found = std::find_if(elements.begin(), elements.end(), [&](const Element& e) { return e.id == id; });
    if (found == elements.end()) return;
    const auto position = static_cast<std::size_t>(found - elements.begin());
    Element changed = *found;
    change(changed);
    if (!isLoadable(changed)) return;
    model.mutate([&](Project& project) {
        if (project.modulation) ((*project.modulation).*list)[position] = changed;
    });
}

} // namespace

void AppModel::addModulationSource(ModulationSourceKind kind)
{
    mutate([kind](Project& project) {
        auto& rack = project.modulation ? *project.modulation : project.modulation.emplace();
        const auto sameKind =
            std::count_if(rack.sources.begin(), rack.sources.end(), [kind](const auto& s) { return s.kind == kind; });
        ModulationSource source;
        source.name = std::string(toRawValue(kind)) + " " + std::to_string(sameKind + 1);
        source.kind = kind;
        rack.sources.push_back(std::move(source));
    });
}

void AppModel::updateModulationSource(const Uuid& id, const std::function<void(ModulationSource&)>& change)
{
    updateRackElement(*this, &ModulationRack::sources, id, change);
}

void AppModel::removeModulationSource(const Uuid& id)
{
    mutate([&](Project& project) {
        if (!project.modulation) return;
        std::erase_if(project.modulation->sources, [&](const ModulationSource& s) { return s.id == id; });
        std::erase_if(project.modulation->routes, [&](const ModulationRoute& r) { return r.sourceID == id; });
    });
}

void AppModel::addModulationRoute(const Uuid& sourceID, ParameterTarget target)
{
    const int track = selectedTrack_;
    const int instrument = selectedInstrument_;
    mutate([&](Project& project) {
        auto& rack = project.modulation ? *project.modulation : project.modulation.emplace();
        ModulationRoute route{.sourceID = sourceID, .amount = 0.25};
        scopeRoute(route, target, track, instrument);
        rack.routes.push_back(std::move(route));
    });
}

void AppModel::updateModulationRoute(const Uuid& id, const std::function<void(ModulationRoute&)>& change)
{
    updateRackElement(*this, &ModulationRack::routes, id, change);
}

void AppModel::setModulationRouteDestination(const Uuid& id, ParameterTarget target)
{
    const int track = selectedTrack_;
    const int instrument = selectedInstrument_;
    updateModulationRoute(id, [&](ModulationRoute& route) { scopeRoute(route, target, track, instrument); });
}

void AppModel::removeModulationRoute(const Uuid& id)
{
    mutate([&](Project& project) {
        if (project.modulation) std::erase_if(project.modulation->routes, [&](const ModulationRoute& r) { return r.id == id; });
    });
}

} // namespace veltrane
