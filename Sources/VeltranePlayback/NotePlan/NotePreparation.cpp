#include "VeltranePlayback/NotePlan/NotePreparation.hpp"

#include "VeltranePlayback/NotePlan/InstrumentLocks.hpp"
#include "VeltraneCore/Modulation/NoteEvaluation.hpp"

namespace veltrane {

PreparedInstrument prepareNoteInstrument(const Instrument& instrument, int index, int track,
                                         std::span<const ParameterLock> locks, std::int64_t frame,
                                         std::int64_t durationFrames, const Project& project,
                                         const PlaybackTimeline& timeline, double sampleRate)
{
    Instrument locked = instrument;
    applyInstrumentLocks(locks, locked);
    Instrument base = instrumentWithAutomation(locked, index, track, frame, timeline);
    Instrument start = instrumentWithModulation(base, index, track, frame, frame, durationFrames, project, sampleRate);
    return {std::move(base), std::move(start)};
}

} // namespace veltrane
