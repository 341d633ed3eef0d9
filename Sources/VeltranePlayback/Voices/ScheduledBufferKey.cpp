#include "VeltranePlayback/Voices/ScheduledBufferKey.hpp"

#include "VeltranePlayback/Voices/NoteFilterDefaults.hpp"

namespace veltrane {

ScheduledBufferKey scheduledBufferKey(const Instrument& instrument, int note, std::int64_t gateFrames, double volume,
                                      double pan, const NoteStageValues& stages)
{
    const FMSettings fm = instrument.fm.value_or(FMSettings{.amount = 0, .carrier = {.ratio = 0}, .modulator = {.ratio = 0}});
    return ScheduledBufferKey{
        .instrumentID = instrument.id,
        .note = note,
        .gateFrames = gateFrames,
        .volume = doubleBits(volume),
        .pan = doubleBits(pan),
        .tune = doubleBits(instrument.tune),
        .instrumentVolume = doubleBits(instrument.volume),
        .cutoff = doubleBits(noteCutoff(instrument)),
        .resonance = doubleBits(noteResonance(instrument)),
        .attack = doubleBits(instrument.attack),
        .decay = doubleBits(instrument.decay),
        .sustain = doubleBits(instrument.sustain),
        .release = doubleBits(instrument.release),
        .waveform = instrument.synthWaveform(),
        .fmAmount = doubleBits(fm.amount),
        .fmCarrierRatio = doubleBits(fm.carrier.ratio),
        .fmCarrierFine = doubleBits(fm.carrier.fine),
        .fmCarrierWaveform = fm.carrier.waveform,
        .fmModulatorRatio = doubleBits(fm.modulator.ratio),
        .fmModulatorFine = doubleBits(fm.modulator.fine),
        .fmModulatorWaveform = fm.modulator.waveform,
        .drive = doubleBits(stages.driveAmount),
        .bitDepth = doubleBits(stages.bitDepth),
        .delayMix = doubleBits(stages.delayMix),
        .reverbMix = doubleBits(stages.reverbMix),
    };
}

} // namespace veltrane

namespace {

// Boost's combining step, widened to 64 bits: order matters, so two keys that swap values between
// fields hash apart.
void combine(std::size_t& seed, std::uint64_t value)
{
    seed ^= std::hash<std::uint64_t>{}(value) + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

std::size_t std::hash<veltrane::ScheduledBufferKey>::operator()(const veltrane::ScheduledBufferKey& key) const noexcept
{
    std::size_t seed = std::hash<veltrane::Uuid>{}(key.instrumentID);
    combine(seed, static_cast<std::uint64_t>(static_cast<std::int64_t>(key.note)));
    combine(seed, static_cast<std::uint64_t>(key.gateFrames));
    for (const std::uint64_t bits : {key.volume, key.pan, key.tune, key.instrumentVolume, key.cutoff, key.resonance,
                                     key.attack, key.decay, key.sustain, key.release}) {
        combine(seed, bits);
    }
    combine(seed, static_cast<std::uint64_t>(key.waveform));
    for (const std::uint64_t bits : {key.fmAmount, key.fmCarrierRatio, key.fmCarrierFine}) combine(seed, bits);
    combine(seed, static_cast<std::uint64_t>(key.fmCarrierWaveform));
    for (const std::uint64_t bits : {key.fmModulatorRatio, key.fmModulatorFine}) combine(seed, bits);
    combine(seed, static_cast<std::uint64_t>(key.fmModulatorWaveform));
    for (const std::uint64_t bits : {key.drive, key.bitDepth, key.delayMix, key.reverbMix}) combine(seed, bits);
    return seed;
}
