#pragma once

// Puts an export's notes on its graph, in the order of the note list, as the render reaches them: a
// built-in note is rendered into its own buffer and queued on a voice of its track (the voice that is
// free, else the one that frees first); a hosted instrument's note becomes MIDI for the instrument of its
// track. The render asks for the notes of each block just before it renders the block, so only the notes
// that sound around the render position are held in memory, never the whole song's.
//
// Every note's sound is a pure function of the note and voices are handed out in list order, so the
// file is the same, sample for sample, as when every note is put on the graph before the first block.
// Identical notes (same instrument settings, pitch, gate, level and pan, without wobble, slide or
// continuous modulation) share one buffer.
//
// With worker threads, the notes' buffers are rendered ahead on them in list order (`NoteRenderAhead`),
// within a memory budget, while this thread runs the graph; queuing them on voices stays here, in list
// order, so the file is the same at any number of threads. The strips are rendered ahead on the same
// workers, a chunk of blocks at a time (`StripMixAhead`): the notes are queued a few chunks ahead of the
// block the main graph renders, and a chunk is rendered once every note that starts in it is queued.
//
//     OfflineNoteScheduler notes(project, list, mixdown, units, 7);   // makes the hosted instruments
//     notes.prepareBlock(frame);                                      // before each block
//
// Owner thread of the graph.

#include "VeltranePlayback/Mixdown/OfflineMixdownGraph.hpp"
#include "VeltranePlayback/NotePlan/OfflineNoteRendering.hpp"
#include "VeltranePlayback/OfflineRender/NoteRenderAhead.hpp"
#include "VeltranePlayback/OfflineRender/StripMixAhead.hpp"
#include "VeltranePlayback/Samples/SampleStore.hpp"
#include "VeltranePlayback/Voices/RenderedNoteCache.hpp"
#include "VeltraneCore/Models/Uuid.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace veltrane {

class OfflineNoteScheduler {
public:
    /// Makes one hosted instrument per instrument and track that plays notes (of the rendered track
    /// only, for a stem) and wires it into its strip. Throws `RenderError::audioUnit` with the
    /// plug-in's name when one cannot be made.
    ///
    /// `workerThreads` render notes ahead besides this thread (0: every note renders here when it is
    /// needed), and the strips. Sample instruments' audio is loaded here, before any worker starts.
    /// `buses` (optional, outliving this) moves the buses, block by block (`prepareBlock`).
    OfflineNoteScheduler(const Project& project, const RenderEventList& list, OfflineMixdownGraph& mixdown,
                         OfflineUnitSource& units, int workerThreads = 0, BusAutomation* buses = nullptr);

    /// Renders and queues every note that starts before `frame` and is not queued yet. Throws what the
    /// note renderers throw (`RenderError::sampleMissing`, `RenderError::conversionFailed`).
    void scheduleBefore(std::int64_t frame);

    /// Before the main graph renders the block at `frame`: queues the notes of the chunks ahead of it,
    /// returns once every strip has rendered the block, and writes the master's bus values for it.
    /// Throws what `scheduleBefore` throws.
    void prepareBlock(std::int64_t frame);

    /// True when every note of the list is queued.
    bool finished() const noexcept { return next_ >= list_.events.size(); }
    /// True when every note of the list starts before `frame` and is queued.
    bool finishedBefore(std::int64_t frame) const noexcept;

    /// The frame at which the last queued sound ends (for a hosted note: its note-off plus 3 seconds).
    std::int64_t latestEndFrame() const noexcept { return latestEnd_; }

    /// How many notes of the list have been taken so far (queued, played by MIDI, or silent).
    std::size_t takenCount() const noexcept { return next_; }

private:
    bool rendered(const RenderEvent& event) const;
    // True for a note rendered into a buffer of its own: heard, on a track with a strip, not hosted.
    bool hasBuffer(const RenderEvent& event) const;
    AudioBufferRef renderBuffer(const RenderEvent& event);
    void schedule(std::size_t index);

    const Project& project_;
    const RenderEventList& list_;
    OfflineMixdownGraph& mixdown_;
    MasterFX master_;
    std::size_t next_ = 0;
    std::int64_t latestEnd_ = 0;
    // One hosted instrument per instrument identifier and track.
    std::map<std::pair<Uuid, int>, std::shared_ptr<AudioMIDIInstrumentNode>> instruments_;
    // Identical built-in notes share one buffer.
    RenderedNoteCache noteCache_;
    static constexpr std::int64_t cacheReleaseIntervalFrames = 10 * 44100;
    std::int64_t nextCacheRelease_ = cacheReleaseIntervalFrames;
    // Each sample instrument's audio, loaded once per render.
    SampleStore samples_;
    // The strips rendered ahead; before `ahead_`, whose workers render them.
    StripMixAhead mix_;
    // Last, so that its workers stop before anything they read goes.
    NoteRenderAhead ahead_;
};

} // namespace veltrane
