#include "VeltranePlayback/OfflineRender/StripMixAhead.hpp"

#include "VeltranePlatform/Audio/DenormalGuard.hpp"

namespace veltrane {

StripMixAhead::StripMixAhead(MixdownGraph& mixdown, BusAutomation* buses)
    : mixdown_(mixdown), buses_(buses), values_(static_cast<std::size_t>(ringChunks * chunkBlocks))
{
    if (buses_ != nullptr) refreshes_ = buses_->refreshes();
    std::vector<Strip*> byIndex(mixdown.strips().size(), nullptr);
    for (std::size_t index = 0; index < mixdown.strips().size(); ++index) {
        MixdownStrip& source = mixdown.strips()[index];
        if (!source.apart || !source.feed) continue;
        auto strip = std::make_unique<Strip>();
        strip->graph = source.apart.get();
        strip->samples.resize(static_cast<std::size_t>(ringChunks * chunkFrames * 2));
        strip->sounding.resize(static_cast<std::size_t>(ringChunks * chunkBlocks));
        const Strip* held = strip.get();
        source.feed->setSource([this, held](std::int64_t frame, int) { return block(*held, frame); });
        byIndex[index] = strip.get();
        strips_.push_back(std::move(strip));
    }
    for (std::size_t index = 0; index < refreshes_.size(); ++index) {
        const std::optional<int> track = refreshes_[index].track;
        if (!track) {
            masterRefreshes_.push_back(index);
        } else if (*track >= 0 && *track < static_cast<int>(byIndex.size())) {
            // A strip in the main graph takes its values with the master's.
            if (Strip* strip = byIndex[static_cast<std::size_t>(*track)]) {
                strip->refreshes.push_back(index);
            } else {
                masterRefreshes_.push_back(index);
            }
        }
    }
}

std::vector<double>& StripMixAhead::values(std::int64_t frame) noexcept
{
    const std::int64_t slot = (frame / chunkFrames) % ringChunks;
    return values_[static_cast<std::size_t>(slot * chunkBlocks + (frame % chunkFrames) / blockFrames)];
}

AudioFeedNode::Block StripMixAhead::block(const Strip& strip, std::int64_t frame) const noexcept
{
    const std::int64_t slot = (frame / chunkFrames) % ringChunks;
    const std::int64_t offset = frame % chunkFrames;
    if (strip.sounding[static_cast<std::size_t>(slot * chunkBlocks + offset / blockFrames)] == 0) return {};
    const float* left = strip.samples.data() + slot * chunkFrames * 2 + offset;
    return {left, left + chunkFrames};
}

void StripMixAhead::render(Strip& strip, std::int64_t chunk) noexcept
{
    // The same arithmetic mode on every thread, so a strip sounds the same wherever it renders.
    DenormalGuard denormals;
    const std::int64_t slot = chunk % ringChunks;
    float* left = strip.samples.data() + slot * chunkFrames * 2;
    float* right = left + chunkFrames;
    for (int block = 0; block < chunkBlocks; ++block) {
        const std::int64_t offset = std::int64_t{block} * blockFrames;
        const std::vector<double>& blockValues = values(chunk * chunkFrames + offset);
        for (const std::size_t index : strip.refreshes) BusAutomation::write(mixdown_, refreshes_[index], blockValues[index]);
        const bool sound = strip.graph->renderBlock(left + offset, right + offset, blockFrames);
        strip.sounding[static_cast<std::size_t>(slot * chunkBlocks + block)] = sound ? 1 : 0;
    }
}

void StripMixAhead::post()
{
    // Evaluated block by block, in order, as the block loop would.
    if (buses_ != nullptr) {
        for (int block = 0; block < chunkBlocks; ++block) {
            const std::int64_t frame = postedEnd() + std::int64_t{block} * blockFrames;
            buses_->evaluate(frame, mixdown_.stripCount(), values(frame));
        }
    }
    const std::lock_guard lock(mutex_);
    ++posted_;
}

void StripMixAhead::writeMasterValues(std::int64_t frame)
{
    if (buses_ == nullptr) return;
    const std::vector<double>& blockValues = values(frame);
    for (const std::size_t index : masterRefreshes_) BusAutomation::write(mixdown_, refreshes_[index], blockValues[index]);
}

StripMixAhead::Strip* StripMixAhead::claimable() noexcept
{
    Strip* oldest = nullptr;
    for (const auto& strip : strips_) {
        if (strip->busy || strip->mixed >= posted_) continue;
        if (oldest == nullptr || strip->mixed < oldest->mixed) oldest = strip.get();
    }
    return oldest;
}

void StripMixAhead::runClaimed(Strip& strip, std::unique_lock<std::mutex>& lock)
{
    strip.busy = true;
    const std::int64_t chunk = strip.mixed;
    lock.unlock();
    render(strip, chunk);
    lock.lock();
    strip.busy = false;
    ++strip.mixed;
}

bool StripMixAhead::ready()
{
    const std::lock_guard lock(mutex_);
    return claimable() != nullptr;
}

void StripMixAhead::runOne()
{
    std::unique_lock lock(mutex_);
    Strip* strip = claimable();
    if (strip == nullptr) return;
    runClaimed(*strip, lock);
    lock.unlock();
    finished_.notify_all();
}

void StripMixAhead::waitFor(std::int64_t frame)
{
    const std::int64_t chunk = frame / chunkFrames;
    {
        std::unique_lock lock(mutex_);
        for (const auto& strip : strips_) {
            // Only posted chunks: the caller posts the chunk of `frame` first.
            while (strip->mixed <= chunk && strip->mixed < posted_) {
                if (!strip->busy) {
                    runClaimed(*strip, lock);
                } else if (Strip* other = claimable()) {
                    // Another thread renders this one: meanwhile, this thread renders what waits.
                    runClaimed(*other, lock);
                } else {
                    finished_.wait(lock);
                }
            }
        }
    }
    // Once a chunk, the buffers the voices have finished playing go, so memory follows what sounds.
    if (chunk != releasedChunk_) {
        releasedChunk_ = chunk;
        for (const auto& strip : strips_) strip->graph->drainCompletions();
    }
}

} // namespace veltrane
