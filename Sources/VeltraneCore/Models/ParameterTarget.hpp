#pragma once

// The thirty-one parameters that a cell lock, an automation lane or a modulation route can change:
// seventeen act on the instrument that plays a note, five on a mixer track, nine on the master section.
//
// Values are kept in each target's natural units. Automation interpolates and modulation adds in a 0-to-1
// form: linear over the range, except the three cutoffs, which are logarithmic (20 Hz → 0, 632.46 Hz → 0.5,
// 20 kHz → 1) so that a sweep sounds even across the octaves.
//
//     label(t), modulationLabel(t), range(t), defaultValue(t), isContinuousModulation(t)
//     clamped(t, v), normalized(t, v), valueAtNormalized(t, m)
//     toRawValue(t) / fromRawValue<ParameterTarget>(s): the case name, e.g. "instrumentCutoff"
//     allParameterTargets: every case in declaration order

#include "VeltraneCore/Models/RawValue.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace veltrane {

enum class ParameterTarget : std::uint8_t {
    instrumentVolume,
    instrumentPan,
    instrumentTune,
    instrumentCutoff,
    instrumentResonance,
    instrumentAttack,
    instrumentDecay,
    instrumentSustain,
    instrumentRelease,
    instrumentWaveform,
    instrumentFMAmount,
    instrumentFMCarrierRatio,
    instrumentFMCarrierFine,
    instrumentFMCarrierWaveform,
    instrumentFMModulatorRatio,
    instrumentFMModulatorFine,
    instrumentFMModulatorWaveform,
    trackVolume,
    trackPan,
    trackCutoff,
    trackResonance,
    trackDrive,
    masterVolume,
    masterCutoff,
    masterResonance,
    masterDrive,
    masterDelay,
    masterDelayTime,
    masterDelayFeedback,
    masterReverb,
    masterBitDepth,
};

inline constexpr int parameterTargetCount = 31;

inline constexpr std::array<ParameterTarget, parameterTargetCount> allParameterTargets = [] {
    std::array<ParameterTarget, parameterTargetCount> cases{};
    for (int i = 0; i < parameterTargetCount; ++i) cases[static_cast<std::size_t>(i)] = static_cast<ParameterTarget>(i);
    return cases;
}();

/// A closed interval of values, both bounds included. NaN lies in no range.
struct ParameterRange {
    double lowerBound = 0;
    double upperBound = 1;

    bool contains(double value) const { return value >= lowerBound && value <= upperBound; }
    friend bool operator==(const ParameterRange&, const ParameterRange&) = default;
};

/// The position of the target in `allParameterTargets` (0 to 30).
constexpr int indexOf(ParameterTarget target) { return static_cast<int>(target); }

constexpr bool isInstrumentTarget(ParameterTarget target) { return indexOf(target) <= 16; }
constexpr bool isTrackTarget(ParameterTarget target) { return indexOf(target) >= 17 && indexOf(target) <= 21; }
constexpr bool isMasterTarget(ParameterTarget target) { return indexOf(target) >= 22; }

/// The three cutoff frequencies, whose 0-to-1 form is logarithmic.
constexpr bool isCutoffTarget(ParameterTarget target)
{
    return target == ParameterTarget::instrumentCutoff || target == ParameterTarget::trackCutoff ||
           target == ParameterTarget::masterCutoff;
}

std::string_view toRawValue(ParameterTarget target);
template <>
std::optional<ParameterTarget> fromRawValue<ParameterTarget>(std::string_view rawValue);

/// The display name, e.g. "Instrument Cutoff".
std::string_view label(ParameterTarget target);

/// The label, with " · Note Start" for instrument targets that modulation reads only when a note starts.
std::string_view modulationLabel(ParameterTarget target);

ParameterRange range(ParameterTarget target);
double defaultValue(ParameterTarget target);

/// True when modulation may move the target while a note or a bus sounds; false when the value is read
/// once at the start of each note.
bool isContinuousModulation(ParameterTarget target);

/// The value held to the target's range; NaN gives the lower bound.
double clamped(ParameterTarget target, double value);

/// The value (clamped first) in the 0-to-1 form.
double normalized(ParameterTarget target, double value);

/// The inverse of `normalized`: the 0-to-1 number (held to 0 to 1, NaN as 0) back in natural units.
double valueAtNormalized(ParameterTarget target, double normalizedValue);

} // namespace veltrane
