#pragma once

// The envelope of one synth note, prepared for its voice loop: the shape of `envelopeLevel` (live) or,
// for the export, the held level under a linear fade over the buffer's last release seconds. Every
// division of those functions becomes a multiplication by a reciprocal worked out once, which changes a
// level by double rounding at most, and the whole evaluation is inline so that a loop over a note's
// frames calls nothing.
//
//     NoteEnvelopeShape shape(instrument, gate, length, fadeOverTail);
//     shape.at(t)                 the level at t seconds from the note's start
//
// Pure arithmetic, no allocation.

#include "VeltranePlayback/Voices/NoteEnvelope.hpp"

#include <algorithm>

namespace veltrane {

class NoteEnvelopeShape {
public:
    /// `fadeOverTail`: the export's ending, fading to 0 at `lengthSeconds`; otherwise the release falls
    /// from the level reached at `gateSeconds`.
    NoteEnvelopeShape(const Instrument& instrument, double gateSeconds, double lengthSeconds, bool fadeOverTail)
        : attack_(instrument.attack), decay_(instrument.decay), sustain_(instrument.sustain),
          inverseAttack_(1 / instrument.attack), decayFall_((1 - instrument.sustain) / instrument.decay),
          fadeOverTail_(fadeOverTail), gate_(gateSeconds)
    {
        if (fadeOverTail) {
            fading_ = instrument.release > 0;
            fadeEnd_ = lengthSeconds;
            inverseFade_ = 1 / instrument.release;
        } else {
            fading_ = true;
            inverseFade_ = 1 / std::max(instrument.release, shortestReleaseSeconds);
            gateLevel_ = held(gateSeconds);
        }
    }

    double at(double time) const
    {
        if (fadeOverTail_) {
            const double fade = fading_ ? std::clamp((fadeEnd_ - time) * inverseFade_, 0.0, 1.0) : 1.0;
            return held(time) * fade;
        }
        if (time <= gate_) return held(time);
        return gateLevel_ * std::max(1 - (time - gate_) * inverseFade_, 0.0);
    }

private:
    // The attack, decay and sustain stages as if the key were still held.
    double held(double time) const
    {
        if (attack_ > 0 && time < attack_) return time * inverseAttack_;
        const double sinceAttack = time - attack_;
        if (decay_ > 0 && sinceAttack < decay_) return 1 - sinceAttack * decayFall_;
        return sustain_;
    }

    double attack_, decay_, sustain_;
    double inverseAttack_, decayFall_;
    bool fadeOverTail_;
    bool fading_ = false;
    double gate_;
    double fadeEnd_ = 0;
    double inverseFade_ = 0;
    double gateLevel_ = 0;
};

} // namespace veltrane
