#include "VeltraneCore/Modulation/ModulationRouting.hpp"

#include "VeltraneCore/Modulation/ModulationSignal.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace veltrane {

namespace {

// An absent track or instrument on the caller's side (the master bus; any bus for instruments) is one
// that no limited route names.
bool routeActsOn(const ModulationRoute& route, ParameterTarget target, std::optional<int> track,
                 std::optional<int> instrument)
{
    return route.target == target && (!route.track || route.track == track) &&
           (!route.instrument || route.instrument == instrument);
}

constexpr std::ptrdiff_t routesSearchedDirectly = 8;

// An amount that is not a number moves nothing; it would otherwise pin the target to the bottom of its
// range.
double routeAmount(const ModulationRoute& route)
{
    return std::isnan(route.amount) ? 0.0 : std::clamp(route.amount, -1.0, 1.0);
}

double routedValue(ParameterTarget target, double base, std::int64_t frame, std::int64_t noteStartFrame,
                   std::int64_t noteDurationFrames, std::optional<int> track, std::optional<int> instrument,
                   const Project& project, double sampleRate)
{
    if (!project.modulation) return base;
    const ModulationRack& rack = *project.modulation;
    // A parameter has a route or two as a rule, whose sources a search of the list finds at once; a long
    // list of routes to one parameter looks its sources up through an index instead, so the cost grows
    // with the rack rather than with its square.
    const auto acting = std::count_if(rack.routes.begin(), rack.routes.end(), [&](const ModulationRoute& route) {
        return routeActsOn(route, target, track, instrument);
    });
    std::optional<ModulationSourceIndex> index;
    if (acting > routesSearchedDirectly) index.emplace(rack);

    double n = normalized(target, base);
    for (const ModulationRoute& route : rack.routes) {
        if (!routeActsOn(route, target, track, instrument)) continue;
        const ModulationSource* source = index ? index->find(route.sourceID) : rack.source(route.sourceID);
        if (!source) continue;
        n += routeAmount(route) *
             modulationSignal(*source, frame, noteStartFrame, noteDurationFrames, sampleRate, project.bpm);
    }
    return valueAtNormalized(target, n);
}

} // namespace

double modulatedValue(ParameterTarget target, double base, std::int64_t frame, std::int64_t noteStartFrame,
                      std::int64_t noteDurationFrames, int track, int instrument, const Project& project,
                      double sampleRate)
{
    return routedValue(target, base, frame, noteStartFrame, noteDurationFrames, track, instrument, project,
                       sampleRate);
}

double modulatedBusValue(ParameterTarget target, double base, std::int64_t frame, std::int64_t noteStartFrame,
                         std::int64_t noteDurationFrames, std::optional<int> track, const Project& project,
                         double sampleRate)
{
    return routedValue(target, base, frame, noteStartFrame, noteDurationFrames, track, std::nullopt, project,
                       sampleRate);
}

bool hasModulation(ParameterTarget target, int track, int instrument, const Project& project)
{
    if (!project.modulation) return false;
    return std::any_of(project.modulation->routes.begin(), project.modulation->routes.end(),
                       [&](const ModulationRoute& route) { return routeActsOn(route, target, track, instrument); });
}

bool hasModulation(ParameterTarget target, std::optional<int> track, const Project& project)
{
    if (!project.modulation) return false;
    return std::any_of(project.modulation->routes.begin(), project.modulation->routes.end(),
                       [&](const ModulationRoute& route) {
                           return route.target == target && (!track || !route.track || *route.track == *track);
                       });
}

} // namespace veltrane
