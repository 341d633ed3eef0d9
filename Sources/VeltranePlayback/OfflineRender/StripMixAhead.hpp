#pragma once

// The export's strips rendered ahead of its block loop. Each strip (voices, hosted instruments, mixer,
// filter, drive, inserts) renders in a graph of its own (`MixdownOptions::StripRendering::apart`); that
// graph is rendered here, a chunk of blocks at a time, into a ring of finished blocks; once every strip
// has rendered a chunk, the strips are summed, in the order of the strips, into a ring that the master
// bus plays through its feed (`MixdownMaster::strips`) when the main graph reaches it. The render's
// thread posts a chunk once every note that starts in it is queued on the strips (a note starting later
// cannot sound in it), and the chunk's strips and sum are then rendered on the note workers, or on the
// render's thread when it needs a chunk that no worker has taken yet.
//
// Bus automation is evaluated when a chunk is posted, block by block and in order, as the block loop
// would: each strip writes its own values at the start of each of its blocks, and the render's thread
// writes the master's before it renders the block (`writeMasterValues`).
//
// A strip's chunks are rendered one after another, in order, by whichever thread (which then also lets
// go of the note buffers the strip's voices have played), so each strip's graph sees the same blocks,
// values and notes in the same order as with one thread: the file is the same, byte for byte, at any
// number of threads, and the same as the strips rendered in the main graph.
//
//     StripMixAhead mix(mixdown, StripMixAhead::Shape::forWorkers(7), &buses);   // sets the master's feed
//     notes.scheduleBefore(mix.postedEnd() + mix.chunkFrames());
//     mix.post();                                 // the next chunk: its notes are all queued
//     mix.waitFor(frame);                         // before rendering the main graph at `frame`
//     mix.writeMasterValues(frame);
//
// `post`, `waitFor` and `writeMasterValues` belong to the render's thread (the graphs' owner); `ready`
// and `runOne` to any thread.

#include "VeltranePlayback/Mixdown/BusAutomation.hpp"
#include "VeltranePlayback/Mixdown/MixdownGraph.hpp"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace veltrane {

class StripMixAhead {
public:
    static constexpr int blockFrames = MixdownOptions::exportBlockFrames;

    /// How far ahead strips render. Chunks of many blocks cost one hand-over between threads per strip
    /// and chunk rather than per block; chunks posted ahead of the one the main graph renders keep the
    /// workers busy meanwhile. With no workers, one block and nothing ahead keeps what is mixed in the
    /// cache and holds no note longer than the block loop would.
    struct Shape {
        int chunkBlocks = 16;
        int chunksAhead = 2;
        static Shape forWorkers(int workers) { return workers > 0 ? Shape{} : Shape{.chunkBlocks = 1, .chunksAhead = 0}; }
    };

    /// For the strips of `mixdown` that render apart (none: this does nothing); sets the master's feed.
    /// `buses` (optional) moves the buses; it must outlive this.
    StripMixAhead(MixdownGraph& mixdown, Shape shape, BusAutomation* buses = nullptr);
    /// Leaves the master's feed silent: it no longer has anything to play.
    ~StripMixAhead();
    StripMixAhead(const StripMixAhead&) = delete;
    StripMixAhead& operator=(const StripMixAhead&) = delete;

    std::int64_t chunkFrames() const noexcept { return chunkFrames_; }
    /// The frame where the posted chunks end.
    std::int64_t postedEnd() const noexcept { return posted_ * chunkFrames_; }
    /// True while fewer chunks are posted than the main graph at `frame` may read ahead.
    bool wantsPost(std::int64_t frame) const noexcept { return posted_ <= frame / chunkFrames_ + chunksAhead_; }
    /// Posts the next chunk: every note that starts before `postedEnd() + chunkFrames()` must be queued.
    void post();

    /// Returns once the strips' sum of the chunk holding `frame` (a posted one) is ready, doing here
    /// whatever of it no thread has taken.
    void waitFor(std::int64_t frame);
    /// Writes the master's bus values of the block at `frame` (a posted one) into the main graph.
    void writeMasterValues(std::int64_t frame);

    /// True when a strip's chunk or a sum waits to be done. Any thread.
    bool ready();
    /// Does one strip's chunk or sum that waits, if one still does. Any thread.
    void runOne();

private:
    // Finished blocks of the chunks in flight, left then right per chunk, and whether each block sounds.
    class Ring {
    public:
        Ring(std::int64_t chunkFrames, int chunks)
            : chunkFrames_(chunkFrames), chunks_(chunks),
              samples_(static_cast<std::size_t>(chunkFrames * chunks * 2)),
              sounding_(static_cast<std::size_t>(chunkFrames / blockFrames * chunks))
        {
        }
        float* left(std::int64_t chunk) noexcept { return samples_.data() + (chunk % chunks_) * chunkFrames_ * 2; }
        std::uint8_t& soundingAt(std::int64_t frame) noexcept
        {
            return sounding_[static_cast<std::size_t>(((frame / chunkFrames_) % chunks_ * chunkFrames_ + frame % chunkFrames_) /
                                                      blockFrames)];
        }
        AudioFeedNode::Block block(std::int64_t frame) noexcept;

    private:
        std::int64_t chunkFrames_;
        int chunks_;
        std::vector<float> samples_;
        std::vector<std::uint8_t> sounding_;
    };
    struct Strip {
        AudioGraph* graph = nullptr;
        std::vector<std::size_t> refreshes; // indices of the strip's own bus refreshes
        Ring ring;
        std::int64_t rendered = 0; // chunks finished
        bool busy = false;         // a thread is rendering its next chunk
    };
    // What a thread does next: a strip's next chunk, or (no strip) the sum of the next chunk.
    struct Job {
        Strip* strip = nullptr;
        std::int64_t chunk = -1;
    };

    // Under the lock: claims the most urgent job (the sum, else the strip furthest behind), if any.
    bool claim(Job& job) noexcept;
    bool sumReady() const noexcept;
    // Outside the lock, then under it.
    void run(const Job& job) noexcept;
    void finish(const Job& job) noexcept;
    void runClaimed(const Job& job, std::unique_lock<std::mutex>& lock);
    void render(Strip& strip, std::int64_t chunk) noexcept;
    void sum(std::int64_t chunk) noexcept;
    // The bus values of a block of the ring, one per refresh.
    std::vector<double>& values(std::int64_t frame) noexcept;

    int chunkBlocks_;
    std::int64_t chunkFrames_;
    int chunksAhead_;
    int ringChunks_;
    MixdownGraph& mixdown_;
    BusAutomation* buses_;
    std::vector<BusAutomation::Refresh> refreshes_;
    std::vector<std::size_t> masterRefreshes_;
    std::vector<std::vector<double>> values_;
    std::vector<std::unique_ptr<Strip>> strips_;
    Ring sum_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::int64_t posted_ = 0; // chunks posted
    std::int64_t summed_ = 0; // chunks summed
    bool summing_ = false;
};

} // namespace veltrane
