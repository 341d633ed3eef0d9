#include "VeltraneCore/Presets/InstrumentPreset.hpp"

#include <optional>

namespace veltrane {

namespace {

struct PresetVoice {
    InstrumentPreset preset;
    std::string_view name;
    Waveform waveform;            // of a plain synth preset
    std::optional<FMSettings> fm; // present: an FM preset (a sine synth with these settings)
    double tune;
    double attack;
    double decay;
    double sustain;
    double release;
    double cutoff;
    double resonance;
};

constexpr FMSettings fmVoice(double amount, double carrierRatio, Waveform carrierWaveform, double modulatorRatio,
                             Waveform modulatorWaveform)
{
    return FMSettings{.amount = amount,
                      .carrier = {.ratio = carrierRatio, .waveform = carrierWaveform},
                      .modulator = {.ratio = modulatorRatio, .waveform = modulatorWaveform}};
}

using enum Waveform;

// In the order of `allInstrumentPresets`.
const std::array<PresetVoice, 10> presetVoices{{
    {InstrumentPreset::subBass, "Sub Bass", sine, std::nullopt, 0, 0.005, 0.18, 0.75, 0.08, 1100, 0.7},
    {InstrumentPreset::acidBass, "Acid Bass", saw, std::nullopt, 0, 0.002, 0.14, 0.45, 0.05, 2200, 2.8},
    {InstrumentPreset::pluck, "Digital Pluck", triangle, std::nullopt, 0, 0.002, 0.16, 0.08, 0.12, 6500, 0.7},
    {InstrumentPreset::warmPad, "Warm Pad", saw, std::nullopt, 0, 0.45, 0.5, 0.72, 1.2, 3800, 0.7},
    {InstrumentPreset::glassBell, "Glass Bell", sine, fmVoice(0.62, 1, sine, 3.01, sine), 0, 0.002, 0.8, 0.05, 1.4,
     12000, 0.7},
    {InstrumentPreset::trackerLead, "Tracker Lead", square, std::nullopt, 0, 0.002, 0.08, 0.82, 0.1, 7500, 0.7},
    {InstrumentPreset::organ, "Organ", sine, fmVoice(0.16, 1, sine, 2, sine), 0, 0.03, 0.08, 0.95, 0.18, 18000, 0.7},
    {InstrumentPreset::kick, "Synth Kick", sine, fmVoice(0.75, 1, sine, 0.5, sine), -24, 0.002, 0.18, 0, 0.03, 5000,
     0.7},
    {InstrumentPreset::snare, "Noise Snare", sine, fmVoice(0.9, 1, square, 7.13, sine), 0, 0.002, 0.13, 0, 0.04,
     9000, 0.7},
    {InstrumentPreset::hiHat, "Metal Hat", sine, fmVoice(1.0, 1, square, 11.7, sine), 18, 0.002, 0.045, 0, 0.02,
     16000, 0.7},
}};

const PresetVoice& voiceOf(InstrumentPreset preset)
{
    const auto index = static_cast<std::size_t>(preset);
    return presetVoices[index < presetVoices.size() ? index : 0];
}

} // namespace

std::string_view toRawValue(InstrumentPreset preset) { return voiceOf(preset).name; }

template <>
std::optional<InstrumentPreset> fromRawValue<InstrumentPreset>(std::string_view rawValue)
{
    for (const auto& voice : presetVoices) {
        if (voice.name == rawValue) return voice.preset;
    }
    return std::nullopt;
}

Instrument instrument(InstrumentPreset preset)
{
    const auto& voice = voiceOf(preset);
    auto made = voice.fm ? Instrument::withFM(std::string(voice.name), *voice.fm)
                         : Instrument::withWaveform(std::string(voice.name), voice.waveform);
    made.tune = voice.tune;
    made.attack = voice.attack;
    made.decay = voice.decay;
    made.sustain = voice.sustain;
    made.release = voice.release;
    made.cutoff = voice.cutoff;
    made.resonance = voice.resonance;
    return made;
}

} // namespace veltrane
