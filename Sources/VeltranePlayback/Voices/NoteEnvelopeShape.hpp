#pragma once

// The envelope of one synth note, prepared for its voice loop: the shape of `envelopeLevel` (live) or,
// for the export, the held level under a linear fade over the buffer's last release seconds. Every
// division of those functions becomes a multiplication by a reciprocal worked out once, which changes a
// level by double rounding at most, and the whole evaluation is inline so that a loop over a note's
// frames calls nothing.
//
//     NoteEnvelopeShape shape(instrument, gate, length, fadeOverTail);
//     shape.at(t)                 the level at t seconds from the note's start
//     shape.fill(first, 64, 1 / rate, levels)    the levels of 64 frames from frame `first`
//
// Pure arithmetic, no allocation.

#include "VeltranePlayback/Voices/NoteEnvelope.hpp"
#include "VeltraneCore/DSP/DoubleLanes.hpp"

#include <algorithm>
#include <cstdint>

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

    /// The levels of `count` frames from frame `first` of the note, frame n at time n × `inverseRate`:
    /// the values of `at`, each the very same. A run of frames that lies within one stage takes that
    /// stage's formula alone, in a loop with no choice per frame (the export's fade, where it acts, is a
    /// second loop over the run); a run across a boundary goes frame by frame.
    void fill(std::int64_t first, int count, double inverseRate, double* out) const
    {
        if (count <= 0) return;
        // Frame numbers stay far below 2^53, so the sum is the frame's number exactly.
        const double base = static_cast<double>(first);
        const auto time = [base, inverseRate](int k) { return (base + k) * inverseRate; };
        // Every stage covers one interval of time, so a run whose first and last frames lie in the same
        // stage lies in it throughout.
        const Stage stage = stageAt(time(0));
        if (stageAt(time(count - 1)) != stage) {
            for (int k = 0; k < count; ++k) out[k] = at(time(k));
            return;
        }
        switch (stage) {
        case Stage::attack:
            for (int k = 0; k < count; ++k) out[k] = time(k) * inverseAttack_;
            break;
        case Stage::decay:
            for (int k = 0; k < count; ++k) out[k] = 1 - (time(k) - attack_) * decayFall_;
            break;
        case Stage::sustain:
            for (int k = 0; k < count; ++k) out[k] = sustain_;
            break;
        case Stage::release:
            for (int k = 0; k < count; ++k) out[k] = gateLevel_ * std::max(1 - (time(k) - gate_) * inverseFade_, 0.0);
            return;
        }
        // The export's fade falls with time: where it is 1 or more at the run's last frame it is held to
        // exactly 1 throughout and changes nothing. Otherwise each level takes its factor, the clamp of
        // `at` written as two selections by value, which give the same for every number (NaN included).
        // Four frames to a vector: left to the compiler, the selections stayed branches, frame by frame.
        if (!fadeOverTail_ || !fading_ || (fadeEnd_ - time(count - 1)) * inverseFade_ >= 1) return;
        int k = 0;
        const QuadLanes zero{};
        for (; k + 4 <= count; k += 4) {
            const QuadLanes frames = base + QuadLanes{double(k), double(k + 1), double(k + 2), double(k + 3)};
            const QuadLanes fade = (fadeEnd_ - frames * inverseRate) * inverseFade_;
            const QuadLanes above = fade < 0 ? zero : fade;
            storeQuad(out + k, loadQuad(out + k) * (1 < above ? zero + 1 : above));
        }
        for (; k < count; ++k) out[k] = out[k] * fadeFactor(time(k));
    }

private:
    // Where `at` takes its level from at one time; the export's fade comes on top.
    enum class Stage { attack, decay, sustain, release };

    Stage stageAt(double time) const
    {
        if (!fadeOverTail_ && !(time <= gate_)) return Stage::release;
        if (attack_ > 0 && time < attack_) return Stage::attack;
        if (decay_ > 0 && time - attack_ < decay_) return Stage::decay;
        return Stage::sustain;
    }

    // The export's fade at one time.
    double fadeFactor(double time) const
    {
        const double fade = (fadeEnd_ - time) * inverseFade_;
        const double above = fade < 0 ? 0.0 : fade;
        return 1 < above ? 1.0 : above;
    }

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
