#include "VeltranePlayback/NotePlan/NoteStrikes.hpp"

#include "VeltraneCore/Timing/FrameTime.hpp"

#include <algorithm>

namespace veltrane {

namespace {

// A cell plays its note and up to two more pitches; a longer list is cut here.
constexpr std::size_t mostPitchesPerStep = 3;

} // namespace

std::optional<std::int64_t> noteRowFrames(const PlaybackTimeline& timeline, const TimelineNoteEvent& note)
{
    // Rows are listed by start frame, and no two rows start on the same frame.
    const auto row = std::lower_bound(timeline.rows.begin(), timeline.rows.end(), note.startFrame,
                                      [](const TimelineRow& r, std::int64_t frame) { return r.startFrame < frame; });
    if (row == timeline.rows.end() || row->startFrame != note.startFrame || row->patternIndex != note.patternIndex ||
        row->row != note.row) {
        return std::nullopt;
    }
    return row->durationFrames;
}

std::vector<NoteStrike> noteStrikes(const TimelineNoteEvent& note, std::optional<std::int64_t> rowFrames)
{
    const EffectParameters& effects = note.effects;
    const std::int64_t steps = std::max(effects.retriggers, 1);
    const std::int64_t stepFrames = std::max<std::int64_t>(note.durationFrames / steps, 1);
    const std::int64_t delayFrames =
        roundHalfAwayFromZero(effects.delayFraction * static_cast<double>(rowFrames.value_or(stepFrames)));
    const std::int64_t firstStep = note.startFrame + delayFrames;

    // The note, then its arpeggio offsets, or else its chord intervals.
    const bool arpeggio = !effects.arpeggio.empty();
    std::vector<int> pitches{note.note};
    for (const int offset : arpeggio ? effects.arpeggio : effects.chord) pitches.push_back(note.note + offset);
    const auto spread = static_cast<std::int64_t>(pitches.size());
    const std::size_t played = std::min(pitches.size(), mostPitchesPerStep);

    std::vector<NoteStrike> strikes;
    strikes.reserve(static_cast<std::size_t>(steps) * played);
    for (std::int64_t k = 0; k < steps; ++k) {
        const std::int64_t stepStart = firstStep + k * stepFrames;
        for (std::size_t i = 0; i < played; ++i) {
            // An arpeggio spreads the whole list evenly over the step; a chord sounds together.
            const std::int64_t offset = arpeggio ? static_cast<std::int64_t>(i) * stepFrames / spread : 0;
            const std::int64_t length = arpeggio ? stepFrames / spread : stepFrames;
            strikes.push_back({stepStart + offset, length, std::clamp(pitches[i], 0, 127)});
        }
    }
    return strikes;
}

} // namespace veltrane
