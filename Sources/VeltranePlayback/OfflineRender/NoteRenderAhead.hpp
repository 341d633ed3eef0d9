#pragma once

// The export's notes rendered ahead of the block loop on worker threads. Notes are numbered in the
// order of the note list; workers take them in that order and render each into a slot of its own, and
// the render's thread takes the buffers back in the same order, rendering a note itself when no worker
// has reached it yet. Every note's sound is a pure function of the note, so the file is the same, byte
// for byte, at any number of threads.
//
//     NoteRenderAhead ahead(list.events.size(), [&](std::size_t i) { return render(list.events[i]); });
//     ahead.start(7);                              // seven workers besides this thread
//     AudioBufferRef buffer = ahead.take(i);       // in increasing order of i
//
// Memory: workers stop taking new notes while the buffers rendered and not yet taken pass a budget (a
// note already begun is finished), so a long song never holds more than that beyond what sounds.
//
// Exceptions thrown by a note's render are kept with the note and thrown again by `take`, so the render
// fails at the same note, with the same error, as on one thread. Destroying it stops the workers after
// the notes they are rendering. `take` belongs to one thread, the render's.

#include "VeltranePlatform/Audio/AudioBuffer.hpp"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrane {

class NoteRenderAhead {
public:
    /// Renders note `index`; null for a note with no buffer of its own. May throw. Called on any thread.
    using Render = std::function<AudioBufferRef(std::size_t index)>;

    /// The default budget of rendered buffers not yet taken: some forty seconds of dense notes.
    static constexpr std::int64_t defaultBudgetBytes = std::int64_t{96} << 20;

    /// `count` notes. Until `start`, every note renders on the caller's thread, in `take`.
    NoteRenderAhead(std::size_t count, Render render, std::int64_t budgetBytes = defaultBudgetBytes);
    ~NoteRenderAhead();
    NoteRenderAhead(const NoteRenderAhead&) = delete;
    NoteRenderAhead& operator=(const NoteRenderAhead&) = delete;

    /// Work the workers do before new notes whenever there is some (the strips mixed ahead): `ready`
    /// says whether there is, `run` does one piece of it. Both are called on the workers, any number at
    /// once.
    struct SideWork {
        std::function<bool()> ready;
        std::function<void()> run;
    };
    /// Before `start`.
    void setSideWork(SideWork work) { side_ = std::move(work); }
    /// Wakes the workers that sleep, for side work that became ready. Any thread.
    void wake();

    /// Starts `workers` threads that render notes ahead, besides the caller's (0 starts none). Once.
    void start(int workers);

    /// The buffer of note `index`, waiting for a worker that is rendering it or rendering it here.
    /// Indices must increase from call to call. Throws what the note's render threw.
    AudioBufferRef take(std::size_t index);

private:
    enum class State : std::uint8_t { waiting, rendering, done };
    struct Slot {
        AudioBufferRef buffer;
        std::exception_ptr error;
        State state = State::waiting;
    };

    void work();
    // Renders note `index` (claimed by the caller) outside the lock and files the result.
    void renderClaimed(std::size_t index, std::unique_lock<std::mutex>& lock);

    bool sideReady() const { return side_.ready && side_.ready(); }

    Render render_;
    SideWork side_;
    std::int64_t budgetBytes_;
    std::mutex mutex_;
    std::condition_variable claimable_; // workers wait here for room in the budget or for the end
    std::condition_variable finished_;  // the taker waits here for its note
    std::vector<Slot> slots_;
    std::size_t nextClaim_ = 0;
    std::int64_t pendingBytes_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace veltrane
