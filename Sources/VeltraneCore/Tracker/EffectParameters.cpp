#include "VeltraneCore/Tracker/EffectParameters.hpp"

namespace veltrane {

EffectParameters interpret(std::span<const std::optional<Effect>> effects)
{
    EffectParameters parameters;
    for (const auto& slot : effects) {
        if (!slot) continue;
        const int value = slot->value;
        const int hi = value >> 4;
        const int lo = value & 15;
        switch (slot->type) {
        case EffectType::arpeggio: parameters.arpeggio = {hi, lo}; break;
        case EffectType::retrigger: parameters.retriggers = lo == 0 ? 1 : lo; break;
        case EffectType::pan: parameters.pan = value / 255.0 * 2 - 1; break;
        case EffectType::delay: parameters.delayFraction = lo / 16.0; break;
        case EffectType::vibrato:
            parameters.vibrato = EffectOscillation{.rate = value < 16 ? 1.0 : hi, .depth = lo * 8.0};
            break;
        case EffectType::tremolo:
            parameters.tremolo = EffectOscillation{.rate = value < 16 ? 1.0 : hi, .depth = lo / 15.0};
            break;
        case EffectType::slide: parameters.slide = true; break;
        case EffectType::chord: parameters.chord = {hi, lo}; break;
        case EffectType::chance: parameters.chance = value / 255.0; break;
        }
    }
    return parameters;
}

} // namespace veltrane
