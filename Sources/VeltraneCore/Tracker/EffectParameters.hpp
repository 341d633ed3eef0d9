#pragma once

// What a note's two effect columns mean, read into one value. The playback timeline stores it in every
// note event and the audition of an entered note reads it directly; the renderers decide how each field
// sounds.
//
//     interpret(cell.effects)     neutral set, then each non-empty slot in order; a later slot of the
//                                 same type replaces what an earlier one set
//
// Several types read the 8-bit value as two 4-bit parameters: hi = value >> 4, lo = value & 15.
//
//     A arpeggio   arpeggio = {hi, lo} semitones        R retrigger  retriggers = lo, or 1 when lo is 0
//     P pan        pan = value / 255 × 2 − 1            D delay      delayFraction = lo / 16
//     V vibrato    rate hi Hz (1 when value < 16), depth lo × 8 cents
//     T tremolo    rate hi Hz (1 when value < 16), depth lo / 15 of the level
//     S slide      slide = true                         H chord      chord = {hi, lo} semitones
//     C chance     chance = value / 255

#include "VeltraneCore/Models/Effect.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace veltrane {

/// Two semitone offsets, or none. A fixed pair of small numbers rather than a list: every note event of a
/// timeline carries two of these, and a timeline of half a million notes must stay small and must not
/// cost a million allocations. Offsets are held to ±127 semitones, far beyond any audible interval.
class SemitoneOffsets {
public:
    constexpr SemitoneOffsets() = default;
    constexpr SemitoneOffsets(int first, int second) : offsets_{narrow(first), narrow(second)}, count_(2) {}

    constexpr bool empty() const { return count_ == 0; }
    constexpr std::size_t size() const { return count_; }
    constexpr int operator[](std::size_t index) const { return offsets_[index]; }

    class Iterator {
    public:
        using value_type = int;
        using difference_type = std::ptrdiff_t;
        constexpr Iterator() = default;
        constexpr explicit Iterator(const std::int8_t* at) : at_(at) {}
        constexpr int operator*() const { return *at_; }
        constexpr Iterator& operator++() { ++at_; return *this; }
        constexpr Iterator operator++(int) { auto before = *this; ++at_; return before; }
        friend constexpr bool operator==(const Iterator&, const Iterator&) = default;

    private:
        const std::int8_t* at_ = nullptr;
    };
    constexpr Iterator begin() const { return Iterator(offsets_.data()); }
    constexpr Iterator end() const { return Iterator(offsets_.data() + count_); }

    friend constexpr bool operator==(const SemitoneOffsets&, const SemitoneOffsets&) = default;

private:
    static constexpr std::int8_t narrow(int value) { return static_cast<std::int8_t>(value < -127 ? -127 : value > 127 ? 127 : value); }

    std::array<std::int8_t, 2> offsets_{};
    std::uint8_t count_ = 0;
};

/// A periodic modulation of a note: `rate` in cycles per second and a `depth` whose unit the field
/// names (cents for vibrato, a 0-to-1 fraction of the level for tremolo).
struct EffectOscillation {
    double rate = 1;
    double depth = 0;

    friend bool operator==(const EffectOscillation&, const EffectOscillation&) = default;
};

struct EffectParameters {
    std::optional<double> pan;                // -1 (left) to +1 (right); none without a pan effect
    double delayFraction = 0;                 // part of the row the start is delayed: 0 to 15/16
    int retriggers = 1;                       // strikes within the note's length, at least 1
    SemitoneOffsets arpeggio;                 // two offsets, or none
    std::optional<EffectOscillation> vibrato; // depth in cents
    std::optional<EffectOscillation> tremolo; // depth as a fraction of the level
    bool slide = false;                       // glide in from the track's previous note
    SemitoneOffsets chord;                    // two intervals sounded with the note, or none
    double chance = 1;                        // probability 0 to 1 that the note sounds

    friend bool operator==(const EffectParameters&, const EffectParameters&) = default;
};

/// The effect slots read into one set of parameters; empty slots are skipped.
EffectParameters interpret(std::span<const std::optional<Effect>> effects);

} // namespace veltrane
