#include "VeltraneCore/Models/ParameterTarget.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

namespace {

struct TargetInfo {
    std::string_view rawValue;
    std::string_view label;
    std::string_view modulationLabel;
    double low;
    double high;
    double defaultValue;
    bool continuous;
};

// Targets that modulation reads only at a note's start say so in the modulation inspector.
#define NOTE_START(text) text, text " \u00B7 Note Start"
#define PLAIN(text) text, text

constexpr std::array<TargetInfo, parameterTargetCount> targetTable{{
    {"instrumentVolume", PLAIN("Instrument Volume"), 0, 1, 0.85, true},
    {"instrumentPan", PLAIN("Instrument Pan"), -1, 1, 0, true},
    {"instrumentTune", NOTE_START("Instrument Tune"), -48, 48, 0, false},
    {"instrumentCutoff", PLAIN("Instrument Cutoff"), 20, 20000, 18000, true},
    {"instrumentResonance", PLAIN("Instrument Resonance"), 0.05, 5, 0.7, true},
    {"instrumentAttack", NOTE_START("Instrument Attack"), 0, 2, 0.002, false},
    {"instrumentDecay", NOTE_START("Instrument Decay"), 0, 2, 0.08, false},
    {"instrumentSustain", NOTE_START("Instrument Sustain"), 0, 1, 0.8, false},
    {"instrumentRelease", NOTE_START("Instrument Release"), 0, 2, 0.08, false},
    {"instrumentWaveform", NOTE_START("Instrument Waveform"), 0, 3, 0, false},
    {"instrumentFMAmount", NOTE_START("Instrument FM Amount"), 0, 1, 0.5, false},
    {"instrumentFMCarrierRatio", NOTE_START("FM Carrier Ratio"), 0.25, 8, 1, false},
    {"instrumentFMCarrierFine", NOTE_START("FM Carrier Fine"), -100, 100, 0, false},
    {"instrumentFMCarrierWaveform", NOTE_START("FM Carrier Waveform"), 0, 3, 0, false},
    {"instrumentFMModulatorRatio", NOTE_START("FM Modulator Ratio"), 0.25, 8, 1, false},
    {"instrumentFMModulatorFine", NOTE_START("FM Modulator Fine"), -100, 100, 0, false},
    {"instrumentFMModulatorWaveform", NOTE_START("FM Modulator Waveform"), 0, 3, 0, false},
    {"trackVolume", PLAIN("Track Volume"), 0, 1, 0.85, true},
    {"trackPan", PLAIN("Track Pan"), -1, 1, 0, true},
    {"trackCutoff", PLAIN("Track Cutoff"), 20, 20000, 20000, true},
    {"trackResonance", PLAIN("Track Resonance"), 0.05, 5, 0.7, true},
    {"trackDrive", PLAIN("Track Drive"), 0, 1, 0, true},
    {"masterVolume", PLAIN("Master Volume"), 0, 1, 0.8, true},
    {"masterCutoff", PLAIN("Master Cutoff"), 20, 20000, 18000, true},
    {"masterResonance", PLAIN("Master Resonance"), 0.05, 5, 0.7, true},
    {"masterDrive", PLAIN("Master Drive"), 0, 1, 0, true},
    {"masterDelay", PLAIN("Master Delay"), 0, 1, 0, true},
    {"masterDelayTime", PLAIN("Master Delay Time"), 0.02, 1, 0.25, true},
    {"masterDelayFeedback", PLAIN("Master Delay Feedback"), 0, 85, 35, true},
    {"masterReverb", PLAIN("Master Reverb"), 0, 1, 0, true},
    {"masterBitDepth", PLAIN("Master Bit Depth"), 4, 16, 16, true},
}};

#undef NOTE_START
#undef PLAIN

const TargetInfo& info(ParameterTarget target)
{
    const auto index = static_cast<std::size_t>(target);
    return targetTable[index < targetTable.size() ? index : 0];
}

constexpr double lowestCutoff = 20;
constexpr double cutoffSpan = 1000;                   // 20000 / 20
constexpr double logOfCutoffSpan = 6.907755278982137; // ln 1000

} // namespace

std::string_view toRawValue(ParameterTarget target) { return info(target).rawValue; }

template <>
std::optional<ParameterTarget> fromRawValue<ParameterTarget>(std::string_view rawValue)
{
    for (std::size_t i = 0; i < targetTable.size(); ++i) {
        if (targetTable[i].rawValue == rawValue) return static_cast<ParameterTarget>(i);
    }
    return std::nullopt;
}

std::string_view label(ParameterTarget target) { return info(target).label; }
std::string_view modulationLabel(ParameterTarget target) { return info(target).modulationLabel; }
ParameterRange range(ParameterTarget target) { return {info(target).low, info(target).high}; }
double defaultValue(ParameterTarget target) { return info(target).defaultValue; }
bool isContinuousModulation(ParameterTarget target) { return info(target).continuous; }

double clamped(ParameterTarget target, double value)
{
    const auto& entry = info(target);
    if (std::isnan(value)) return entry.low;
    return std::clamp(value, entry.low, entry.high);
}

double normalized(ParameterTarget target, double value)
{
    const auto& entry = info(target);
    const double c = clamped(target, value);
    // ln(c / 20) rather than ln c - ln 20: the same number, but the bounds land exactly on 0 and 1.
    if (isCutoffTarget(target)) return std::log(c / lowestCutoff) / logOfCutoffSpan;
    return (c - entry.low) / (entry.high - entry.low);
}

double valueAtNormalized(ParameterTarget target, double normalizedValue)
{
    const auto& entry = info(target);
    const double m = std::isnan(normalizedValue) ? 0.0 : std::clamp(normalizedValue, 0.0, 1.0);
    // 20 × 1000^m rather than exp(m ln 1000 + ln 20): the same curve, but 0 and 1 give exactly 20 and
    // 20000 (the exponential form lands a hair outside the range at the bottom, and a lock written from
    // there would make the project fail its check on load). The result is held to the range all the same.
    const double value = isCutoffTarget(target) ? lowestCutoff * std::pow(cutoffSpan, m)
                                                : entry.low + m * (entry.high - entry.low);
    return std::clamp(value, entry.low, entry.high);
}

} // namespace veltrane
