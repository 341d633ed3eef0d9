#pragma once

// Rendered notes shared between identical notes. The audio engine owns one cache per playback and asks
// it for each built-in note it schedules; a note whose key is already there reuses that buffer, so a drum
// pattern renders each distinct hit once however often it repeats. Notes whose sound depends on time or
// on a neighbour (vibrato, tremolo, slide, continuous modulation) never come here.
//
//     RenderedNoteCache cache;
//     AudioBufferRef sound = cache.bufferFor(key, [&] { return renderedSynth(...); });
//
// Because every note's render is a pure function of the note, the engine may render a block or a loop
// cycle ahead and let go of what has played (`releaseUnused`): a note rendered again later is the same
// buffer, sample for sample, as the one it would have kept.
//
// Any thread: the export renders notes on several threads at once, which share one cache (two threads
// that miss the same key both render it, which gives the same buffer twice, never a different sound). The
// buffers themselves are immutable once stored and may be handed to the audio thread.

#include "VeltranePlayback/Voices/ScheduledBufferKey.hpp"
#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <cstddef>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace veltrane {

class RenderedNoteCache {
public:
    /// The buffer stored under `key`, or null.
    AudioBufferRef find(const ScheduledBufferKey& key) const
    {
        const std::lock_guard lock(mutex_);
        const auto found = buffers_.find(key);
        return found == buffers_.end() ? nullptr : found->second;
    }

    /// Stores `buffer` under `key`, replacing an equal entry. A null buffer (a silent note) is not kept.
    void store(const ScheduledBufferKey& key, AudioBufferRef buffer)
    {
        if (!buffer) return;
        const std::lock_guard lock(mutex_);
        buffers_.insert_or_assign(key, std::move(buffer));
    }

    /// The buffer under `key`, made by `render` (returning something that converts to `AudioBufferRef`)
    /// and stored the first time it is asked for.
    template <class Render>
    AudioBufferRef bufferFor(const ScheduledBufferKey& key, Render&& render)
    {
        if (auto cached = find(key)) return cached;
        AudioBufferRef made = std::forward<Render>(render)();
        store(key, made);
        return made;
    }

    /// Lets go of every buffer that nothing outside the cache holds any more (its sounds have played and
    /// been released); returns how many were dropped.
    std::size_t releaseUnused()
    {
        const std::lock_guard lock(mutex_);
        return std::erase_if(buffers_, [](const auto& entry) { return entry.second.use_count() == 1; });
    }

    void clear()
    {
        const std::lock_guard lock(mutex_);
        buffers_.clear();
    }
    std::size_t size() const
    {
        const std::lock_guard lock(mutex_);
        return buffers_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<ScheduledBufferKey, AudioBufferRef> buffers_;
};

} // namespace veltrane
