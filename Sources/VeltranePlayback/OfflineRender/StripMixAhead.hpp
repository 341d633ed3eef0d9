#pragma once

// The export's strips rendered ahead of its block loop. Each strip (voices, hosted instruments, mixer,
// filter, drive, inserts) renders in a graph of its own (`MixdownOptions::StripRendering::apart`); that
// graph is rendered here, a chunk of blocks at a time, into a ring of finished blocks, which the strip's
// feed plays into the master bus when the main graph reaches them. The render's thread posts a chunk once
// every note that starts in it is queued on the strips (a note starting later cannot sound in it), and
// the chunk's strips are then rendered on the note workers, or on the render's thread when it needs a
// chunk that no worker has taken yet.
//
// Bus automation is evaluated when a chunk is posted, block by block and in order, as the block loop
// would: each strip writes its own values at the start of each of its blocks, and the render's thread
// writes the master's before it renders the block (`writeMasterValues`).
//
// A strip's chunks are rendered one after another, in order, by whichever thread, so each strip's graph
// sees the same blocks, values and notes in the same order as with one thread: the file is the same,
// byte for byte, at any number of threads, and the same as the strips rendered in the main graph.
//
//     StripMixAhead mix(mixdown, &buses);         // sets every strip's feed
//     notes.scheduleBefore(mix.postedEnd() + StripMixAhead::chunkFrames);
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
    /// Blocks per chunk: one hand-over between threads per strip and chunk rather than per block.
    static constexpr int chunkBlocks = 16;
    static constexpr std::int64_t chunkFrames = std::int64_t{chunkBlocks} * blockFrames;
    /// Chunks posted beyond the one the main graph renders, for the workers to mix meanwhile.
    static constexpr int chunksAhead = 2;

    /// For the strips of `mixdown` that render apart; sets their feeds. Strips without a graph of their
    /// own are left alone. `buses` (optional) moves the buses; it must outlive this.
    explicit StripMixAhead(MixdownGraph& mixdown, BusAutomation* buses = nullptr);
    StripMixAhead(const StripMixAhead&) = delete;
    StripMixAhead& operator=(const StripMixAhead&) = delete;

    /// The frame where the posted chunks end.
    std::int64_t postedEnd() const noexcept { return posted_ * chunkFrames; }
    /// True while fewer chunks are posted than the main graph at `frame` may read ahead.
    bool wantsPost(std::int64_t frame) const noexcept { return posted_ <= frame / chunkFrames + chunksAhead; }
    /// Posts the next chunk: every note that starts before `postedEnd() + chunkFrames` must be queued.
    void post();

    /// Returns once every strip's chunk holding `frame` is rendered, rendering here those that no thread
    /// has taken. Lets go of the note buffers the voices have played.
    void waitFor(std::int64_t frame);
    /// Writes the master's bus values of the block at `frame` (a posted one) into the main graph.
    void writeMasterValues(std::int64_t frame);

    /// True when a strip's chunk is waiting to be mixed. Any thread.
    bool ready();
    /// Mixes one waiting chunk of a strip, if one still waits. Any thread.
    void runOne();

private:
    struct Strip {
        AudioGraph* graph = nullptr;
        std::vector<std::size_t> refreshes; // indices of the strip's own bus refreshes
        std::vector<float> samples;                      // ring of chunks, left then right per chunk
        std::vector<std::uint8_t> sounding;              // per block of the ring
        std::int64_t mixed = 0;                          // chunks finished
        bool busy = false;                               // a thread is mixing its next chunk
    };
    static constexpr int ringChunks = chunksAhead + 1;

    AudioFeedNode::Block block(const Strip& strip, std::int64_t frame) const noexcept;
    void render(Strip& strip, std::int64_t chunk) noexcept;
    // Under the lock: the strip whose oldest chunk waits, or null.
    Strip* claimable() noexcept;
    void runClaimed(Strip& strip, std::unique_lock<std::mutex>& lock);

    // The bus values of the ring's blocks, one per refresh.
    std::vector<double>& values(std::int64_t frame) noexcept;

    MixdownGraph& mixdown_;
    BusAutomation* buses_;
    std::vector<BusAutomation::Refresh> refreshes_;
    std::vector<std::size_t> masterRefreshes_;
    std::vector<std::vector<double>> values_;
    std::vector<std::unique_ptr<Strip>> strips_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::int64_t posted_ = 0; // chunks posted
    std::int64_t releasedChunk_ = -1;
};

} // namespace veltrane
