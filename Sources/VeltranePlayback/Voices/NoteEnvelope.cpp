#include "VeltranePlayback/Voices/NoteEnvelope.hpp"

#include <algorithm>

namespace veltrane {

double heldEnvelopeLevel(double time, const Instrument& instrument)
{
    const double attack = instrument.attack;
    const double decay = instrument.decay;
    const double sustain = instrument.sustain;
    if (attack > 0 && time < attack) return time / attack;
    const double sinceAttack = time - attack;
    if (decay > 0 && sinceAttack < decay) return 1 - sinceAttack * (1 - sustain) / decay;
    return sustain;
}

double envelopeLevel(double time, double gate, const Instrument& instrument)
{
    if (time <= gate) return heldEnvelopeLevel(time, instrument);
    const double release = std::max(instrument.release, shortestReleaseSeconds);
    return heldEnvelopeLevel(gate, instrument) * std::max(1 - (time - gate) / release, 0.0);
}

} // namespace veltrane
