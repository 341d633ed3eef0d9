#include "VeltraneCore/MIDIRealtime/MIDIClockFollow.hpp"

#include <algorithm>
#include <cmath>

namespace veltrane {

bool MIDIClockTempoEstimate::receive(std::uint64_t hostTimeNanos)
{
    stamps_.push_back(hostTimeNanos);
    while (stamps_.size() > keptClocks) stamps_.pop_front();
    if (stamps_.size() < clocksNeeded) return false;
    const std::uint64_t oldest = stamps_.front();
    const std::uint64_t newest = stamps_.back();
    if (newest <= oldest) return false;
    const double span = static_cast<double>(newest - oldest) / 1e9;
    const double measured = 60.0 / ((span / static_cast<double>(stamps_.size() - 1)) * 24.0);
    if (!(measured >= 20.0 && measured <= 400.0)) return false;
    bpm_ = bpm_ ? 0.2 * measured + 0.8 * *bpm_ : measured;
    return true;
}

double midiExpectedFrames(double sampleRate, std::int64_t clockTicks, double externalBPM)
{
    return sampleRate * static_cast<double>(clockTicks) * 60.0 / externalBPM / 24.0;
}

double midiTransportRate(double externalBPM, double scheduledBPM, double expectedFrame, double actualFrame, double sampleRate)
{
    const double base = scheduledBPM >= 1 ? externalBPM / scheduledBPM : externalBPM;
    const double correction = (expectedFrame - actualFrame) / (2.0 * std::max(sampleRate, 1.0));
    const double rate = base + correction;
    if (std::isnan(rate)) return 0.5;
    return std::clamp(rate, 0.5, 2.0);
}

} // namespace veltrane
