#pragma once

// What makes two rendered notes the same sound, so a playback renders each distinct note once and
// schedules the one buffer wherever it recurs (drum patterns, repeated chords, retrigger steps). The
// audio engine names this type `AudioEngine::ScheduledBufferKey`, an alias of this one.
//
//     auto key = scheduledBufferKey(startInstrument, note, gateFrames, volume, pan);
//
// Doubles are kept as their bit patterns: two keys are equal only when every number is the very same
// double (0.0 and -0.0 differ; a NaN equals the same NaN). The key holds no track and no effect column:
// notes whose sound depends on time or on a neighbour (vibrato, tremolo, slide, continuous modulation)
// are never looked up or stored.

#include "VeltraneCore/Models/Instrument.hpp"
#include "VeltraneCore/Models/Uuid.hpp"
#include "VeltraneCore/Models/Waveform.hpp"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace veltrane {

/// The bit pattern of a double, the form in which the key stores every number.
constexpr std::uint64_t doubleBits(double value) { return std::bit_cast<std::uint64_t>(value); }

struct ScheduledBufferKey {
    Uuid instrumentID;
    int note = 0;
    std::int64_t gateFrames = 0;
    std::uint64_t volume = 0;           // note gain
    std::uint64_t pan = 0;              // -1 to 1
    std::uint64_t tune = 0;             // semitones
    std::uint64_t instrumentVolume = 0;
    std::uint64_t cutoff = 0;           // the cutoff the note is rendered with
    std::uint64_t resonance = 0;        // the resonance the note is rendered with
    std::uint64_t attack = 0;
    std::uint64_t decay = 0;
    std::uint64_t sustain = 0;
    std::uint64_t release = 0;
    Waveform waveform = Waveform::sine; // sine for sample sources
    std::uint64_t fmAmount = 0;
    std::uint64_t fmCarrierRatio = 0;
    std::uint64_t fmCarrierFine = 0;
    Waveform fmCarrierWaveform = Waveform::sine;
    std::uint64_t fmModulatorRatio = 0;
    std::uint64_t fmModulatorFine = 0;
    Waveform fmModulatorWaveform = Waveform::sine;
    std::uint64_t drive = 0;
    std::uint64_t bitDepth = 0;
    std::uint64_t delayMix = 0;
    std::uint64_t reverbMix = 0;

    friend bool operator==(const ScheduledBufferKey&, const ScheduledBufferKey&) = default;
};

/// The per-note drive, bit reduction and sends a note is rendered with. Playback and the export render
/// every note with these neutral values and apply drive, bit reduction, delay and reverb once, on the
/// master chain.
struct NoteStageValues {
    double driveAmount = 0;
    double bitDepth = 16;
    double delayMix = 0;
    double reverbMix = 0;

    friend bool operator==(const NoteStageValues&, const NoteStageValues&) = default;
};

/// The key of a note of `instrument` (the instrument as it is rendered: locks, automation and note-start
/// modulation applied) at MIDI `note`, held for `gateFrames` output frames, at linear gain `volume` and
/// `pan`.
///
/// Cutoff and resonance are those the voice renders with: an instrument without them renders at 18,000 Hz
/// and 0.7, so a note without a cutoff and a note whose cutoff lock says 20,000 Hz sound different and get
/// different keys.
ScheduledBufferKey scheduledBufferKey(const Instrument& instrument, int note, std::int64_t gateFrames, double volume,
                                      double pan, const NoteStageValues& stages = {});

} // namespace veltrane

template <>
struct std::hash<veltrane::ScheduledBufferKey> {
    std::size_t operator()(const veltrane::ScheduledBufferKey& key) const noexcept;
};
