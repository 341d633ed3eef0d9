#pragma once

// Following another device's MIDI clock: its tempo is measured from the time stamps of the last received
// Timing Clocks (24 to a beat), smoothed, and turned into a playback rate that keeps our transport in
// step with the clocks counted since the external Start or Continue.

#include <cstdint>
#include <deque>
#include <optional>

namespace veltrane {

class MIDIClockTempoEstimate {
public:
    /// Stamps kept, and the fewest that make a measurement.
    static constexpr std::size_t keptClocks = 25;
    static constexpr std::size_t clocksNeeded = 13;

    /// Takes the host time (nanoseconds) of one received clock. True when it made a new measurement and
    /// `bpm()` moved: the first measurement is taken whole, each later one moves the tempo by a fifth of
    /// the difference. Too few stamps, a stamp not later than the oldest kept, or a tempo outside
    /// 20 ... 400 BPM measure nothing and leave the tempo as it was.
    bool receive(std::uint64_t hostTimeNanos);

    /// The smoothed external tempo; nothing before the first measurement. Never cleared.
    std::optional<double> bpm() const { return bpm_; }
    /// The stamps kept, oldest first.
    const std::deque<std::uint64_t>& stamps() const { return stamps_; }

private:
    std::deque<std::uint64_t> stamps_;
    std::optional<double> bpm_;
};

/// The frames an external clock has advanced after `clockTicks` clocks at `externalBPM`.
double midiExpectedFrames(double sampleRate, std::int64_t clockTicks, double externalBPM);

/// The playback rate that follows an external clock: its tempo over the tempo the timeline was built
/// with (the external tempo itself when that is below 1), plus half the lag in seconds of audio, held to
/// 0.5 ... 2.0; a result that is not a number gives 0.5.
double midiTransportRate(double externalBPM, double scheduledBPM, double expectedFrame, double actualFrame, double sampleRate);

} // namespace veltrane
