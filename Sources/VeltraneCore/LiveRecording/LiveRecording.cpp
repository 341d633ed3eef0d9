#include "VeltraneCore/LiveRecording/LiveRecording.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace veltrane {

namespace {

/// Halves away from zero, held to the range a frame count can take.
std::int64_t roundedFrame(double value)
{
    constexpr double limit = 9.0e18;
    return static_cast<std::int64_t>(std::clamp(std::round(value), -limit, limit));
}

/// Absolute difference of two frames without overflowing at the ends of the range.
std::uint64_t distance(std::int64_t a, std::int64_t b)
{
    return a > b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b) : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

} // namespace

std::optional<RecordingPlacement> recordingPlacement(std::int64_t frame, double quantizeStrength, const PlaybackTimeline& timeline)
{
    const auto& rows = timeline.rows;
    if (rows.empty() || timeline.totalFrames < 1) return std::nullopt;
    const std::int64_t f = std::clamp<std::int64_t>(frame, 0, timeline.totalFrames - 1);

    std::size_t nearest = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (distance(rows[i].startFrame, f) < distance(rows[nearest].startFrame, f)) nearest = i;
    }
    const double strength = std::isnan(quantizeStrength) ? 0.0 : std::clamp(quantizeStrength, 0.0, 1.0);
    const std::int64_t target =
        roundedFrame(strength * static_cast<double>(rows[nearest].startFrame - f) + static_cast<double>(f));

    std::size_t index = 0;
    for (std::size_t i = rows.size(); i-- > 0;) {
        if (rows[i].startFrame <= target) {
            index = i;
            break;
        }
    }
    const auto& row = rows[index];
    const double sixteenths = std::round(static_cast<double>(target - row.startFrame)
                                         / static_cast<double>(std::max<std::int64_t>(row.durationFrames, 1)) * 16.0);
    if (sixteenths >= 16 && index + 1 < rows.size()) {
        const auto& next = rows[index + 1];
        return RecordingPlacement{static_cast<int>(index + 1), next.patternIndex, next.row, 0};
    }
    const auto delay = static_cast<std::uint8_t>(std::clamp(sixteenths, 0.0, 15.0));
    return RecordingPlacement{static_cast<int>(index), row.patternIndex, row.row, delay};
}

std::int64_t recordingFrame(std::int64_t absoluteFrame, std::int64_t totalFrames, bool looping)
{
    const std::int64_t total = std::max<std::int64_t>(totalFrames, 1);
    const std::int64_t absolute = std::max<std::int64_t>(absoluteFrame, 0);
    return looping ? absolute % total : std::min(total - 1, absolute);
}

std::int64_t recordingPass(std::int64_t absoluteFrame, std::int64_t totalFrames)
{
    return std::max<std::int64_t>(absoluteFrame, 0) / std::max<std::int64_t>(totalFrames, 1);
}

double recordedGate(std::int64_t startFrame, std::int64_t endFrame, std::int64_t rowDurationFrames)
{
    // In floating point: a held note's frames and the row length are far apart in scale, and the
    // difference of two frame counts near the ends of their range must not overflow.
    const double start = static_cast<double>(startFrame);
    const double end = std::max(start + 1, static_cast<double>(endFrame));
    const double gate = (end - start) / static_cast<double>(std::max<std::int64_t>(rowDurationFrames, 1));
    return std::clamp(gate, 0.01, 16.0);
}

std::uint8_t recordedVolume(int velocity)
{
    return static_cast<std::uint8_t>(std::min(std::clamp(velocity, 0, 127) * 64 / 127, 64));
}

void recordStepNote(Cell& cell, int note, int instrument, int velocity, LiveRecordWriteMode writeMode)
{
    if (writeMode == LiveRecordWriteMode::replace) cell = Cell{};
    cell.note = NotePitch{note};
    cell.instrument = instrument;
    cell.volume = recordedVolume(velocity);
}

void recordRealtimeNote(Cell& cell, int note, int instrument, int velocity, std::uint8_t delay)
{
    cell.note = NotePitch{note};
    cell.instrument = instrument;
    cell.volume = recordedVolume(velocity);

    // A note recorded again over an earlier take must not keep that take's delay.
    EffectSlots kept{};
    std::size_t count = 0;
    for (const auto& slot : cell.effects) {
        if (slot && slot->type == EffectType::delay) continue;
        kept[count++] = slot;
    }
    cell.effects = kept;
    if (delay == 0) return;
    const Effect effect{EffectType::delay, delay};
    for (auto& slot : cell.effects) {
        if (!slot) {
            slot = effect;
            return;
        }
    }
    cell.effects[1] = effect;
}

} // namespace veltrane
