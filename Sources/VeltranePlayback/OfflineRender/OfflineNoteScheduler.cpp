#include "VeltranePlayback/OfflineRender/OfflineNoteScheduler.hpp"

#include "VeltranePlayback/NotePlan/HostedNoteMIDI.hpp"
#include "VeltranePlayback/OfflineRender/RenderError.hpp"
#include "VeltraneCore/Timing/FrameTime.hpp"
#include "VeltraneCore/Tracker/TrackerVoice.hpp"

#include <algorithm>
#include <variant>

namespace veltrane {

namespace {

const AudioUnitSource* hostedSource(const Project& project, int instrument)
{
    if (instrument < 0 || instrument >= static_cast<int>(project.instruments.size())) return nullptr;
    return std::get_if<AudioUnitSource>(&project.instruments[static_cast<std::size_t>(instrument)].source);
}

// The frame a note's buffer starts at: its start in seconds, truncated to a frame.
std::int64_t scheduledFrame(const RenderEvent& event)
{
    return static_cast<std::int64_t>(event.start * OfflineNoteRendering::sampleRate);
}

} // namespace

OfflineNoteScheduler::OfflineNoteScheduler(const Project& project, const RenderEventList& list,
                                           OfflineMixdownGraph& mixdown, OfflineUnitSource& units, int workerThreads,
                                           BusAutomation* buses)
    : project_(project), list_(list), mixdown_(mixdown), master_(effectiveMasterSettings(project)),
      mix_(mixdown, StripMixAhead::Shape::forWorkers(workerThreads), buses),
      ahead_(list.events.size(), [this](std::size_t index) {
          const RenderEvent& event = list_.events[index];
          return hasBuffer(event) ? renderBuffer(event) : nullptr;
      })
{
    std::vector<Instrument> sampled;
    std::vector<bool> listed(project.instruments.size());
    for (const RenderEvent& event : list.events) {
        if (!rendered(event)) continue;
        if (hasBuffer(event) && event.instrument >= 0 && event.instrument < static_cast<int>(listed.size()) &&
            !listed[static_cast<std::size_t>(event.instrument)]) {
            listed[static_cast<std::size_t>(event.instrument)] = true;
            sampled.push_back(project.instruments[static_cast<std::size_t>(event.instrument)]);
        }
        const AudioUnitSource* source = hostedSource(project, event.instrument);
        if (source == nullptr) continue;
        const auto key = std::make_pair(project.instruments[static_cast<std::size_t>(event.instrument)].id, event.track);
        if (instruments_.contains(key)) continue;
        instruments_.emplace(key, mixdown.addInstrument(event.track, source->reference, source->state, units));
    }
    // The audio of every sample instrument a note plays, loaded before any note renders: the notes then
    // only read the store, from any thread. Locks and lanes never change an instrument's audio or its
    // edit, so each note finds what it would have loaded itself.
    samples_.loadSamples(sampled);
    ahead_.setSideWork({.ready = [this] { return mix_.ready(); }, .run = [this] { mix_.runOne(); }});
    ahead_.start(workerThreads);
}

void OfflineNoteScheduler::prepareBlock(std::int64_t frame)
{
    while (mix_.wantsPost(frame)) {
        // A chunk's strips are settled once every note that starts in it is queued.
        scheduleBefore(mix_.postedEnd() + mix_.chunkFrames());
        mix_.post();
        ahead_.wake();
    }
    mix_.waitFor(frame);
    mix_.writeMasterValues(frame);
}

bool OfflineNoteScheduler::finishedBefore(std::int64_t frame) const noexcept
{
    // The list is in order of start.
    return finished() && (list_.events.empty() || scheduledFrame(list_.events.back()) < frame);
}

bool OfflineNoteScheduler::rendered(const RenderEvent& event) const
{
    const auto solo = mixdown_.soloTrack();
    return !solo || event.track == *solo;
}

void OfflineNoteScheduler::scheduleBefore(std::int64_t frame)
{
    // Identical notes share a buffer, but one kept for the whole song would hold every distinct note in
    // memory; every few seconds the buffers no voice holds any more are let go. A note rendered again is
    // the same sound, so this changes nothing in the file.
    if (frame >= nextCacheRelease_) {
        noteCache_.releaseUnused();
        // Saturated: rendering every note at once asks for the notes before the largest frame there is.
        nextCacheRelease_ = framesAfter(frame, cacheReleaseIntervalFrames);
    }
    while (next_ < list_.events.size() && scheduledFrame(list_.events[next_]) < frame) {
        if (rendered(list_.events[next_])) schedule(next_);
        ++next_;
    }
}

bool OfflineNoteScheduler::hasBuffer(const RenderEvent& event) const
{
    // The project model keeps every note on a track that has a strip; a note elsewhere has nowhere to go.
    return rendered(event) && event.track >= 0 && event.track < static_cast<int>(mixdown_.strips().size()) &&
           hostedSource(project_, event.instrument) == nullptr;
}

AudioBufferRef OfflineNoteScheduler::renderBuffer(const RenderEvent& event)
{
    // The store was filled before any note rendered; notes only read it.
    const auto samples = [this](const Instrument& instrument) { return samples_.sample(instrument.id); };
    return OfflineNoteRendering::renderEvent(event, project_, list_.timeline, master_.delayTime, master_.delayFeedback,
                                             samples, &noteCache_);
}

void OfflineNoteScheduler::schedule(std::size_t index)
{
    const RenderEvent& event = list_.events[index];
    auto& strips = mixdown_.strips();
    if (event.track < 0 || event.track >= static_cast<int>(strips.size())) return;
    MixdownStrip& strip = strips[static_cast<std::size_t>(event.track)];

    if (const AudioUnitSource* source = hostedSource(project_, event.instrument)) {
        const auto key = std::make_pair(project_.instruments[static_cast<std::size_t>(event.instrument)].id, event.track);
        const auto found = instruments_.find(key);
        if (found == instruments_.end()) throw RenderError::audioUnit(source->reference.name);
        for (const ScheduledMIDIMessage& message : hostedNoteMIDI(event, project_, list_.timeline)) {
            found->second->scheduleMIDI(message.frame, message.bytes);
        }
        latestEnd_ = std::max(latestEnd_, hostedNoteOffFrame(event) + hostedReleaseAllowanceFrames);
        return;
    }

    AudioBufferRef buffer = ahead_.take(index);
    if (!buffer) return; // a note with nothing to play (beyond a sample's last slice)

    const std::int64_t start = scheduledFrame(event);
    const std::int64_t end = start + buffer->frameLength();
    const int voice = allocateTrackerVoice(strip.voiceBusyUntil, start, end);
    latestEnd_ = std::max(latestEnd_, end);
    strip.voices[static_cast<std::size_t>(voice)]->scheduleBuffer(std::move(buffer), start);
}

} // namespace veltrane
