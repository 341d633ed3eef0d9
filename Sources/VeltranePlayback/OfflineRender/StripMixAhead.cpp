#include "VeltranePlayback/OfflineRender/StripMixAhead.hpp"

#include "VeltranePlatform/Audio/AudioKernels.hpp"
#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <algorithm>
#include <cstring>

namespace veltrane {

StripMixAhead::StripMixAhead(MixdownGraph& mixdown, Shape shape, BusAutomation* buses)
    : chunkBlocks_(std::max(shape.chunkBlocks, 1)), chunkFrames_(std::int64_t{chunkBlocks_} * blockFrames),
      chunksAhead_(std::max(shape.chunksAhead, 0)), ringChunks_(chunksAhead_ + 1), mixdown_(mixdown), buses_(buses),
      values_(static_cast<std::size_t>(ringChunks_ * chunkBlocks_)), sum_(chunkFrames_, ringChunks_)
{
    if (buses_ != nullptr) refreshes_ = buses_->refreshes();
    std::vector<Strip*> byIndex(mixdown.strips().size(), nullptr);
    for (std::size_t index = 0; index < mixdown.strips().size(); ++index) {
        const MixdownStrip& source = mixdown.strips()[index];
        if (!source.apart) continue;
        auto strip = std::make_unique<Strip>(Strip{.graph = source.apart.get(), .ring = Ring(chunkFrames_, ringChunks_)});
        byIndex[index] = strip.get();
        strips_.push_back(std::move(strip));
    }
    if (mixdown.master().strips) {
        mixdown.master().strips->setSource([this](std::int64_t frame, int) { return sum_.block(frame); });
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

StripMixAhead::~StripMixAhead()
{
    if (mixdown_.master().strips) mixdown_.master().strips->setSource({});
}

AudioFeedNode::Block StripMixAhead::Ring::block(std::int64_t frame) noexcept
{
    if (soundingAt(frame) == 0) return {};
    const float* blockLeft = left(frame / chunkFrames_) + frame % chunkFrames_;
    return {blockLeft, blockLeft + chunkFrames_};
}

std::vector<double>& StripMixAhead::values(std::int64_t frame) noexcept
{
    const std::int64_t slot = (frame / chunkFrames_) % ringChunks_;
    return values_[static_cast<std::size_t>(slot * chunkBlocks_ + (frame % chunkFrames_) / blockFrames)];
}

void StripMixAhead::render(Strip& strip, std::int64_t chunk) noexcept
{
    float* left = strip.ring.left(chunk);
    float* right = left + chunkFrames_;
    for (int block = 0; block < chunkBlocks_; ++block) {
        const std::int64_t offset = std::int64_t{block} * blockFrames;
        const std::int64_t frame = chunk * chunkFrames_ + offset;
        const std::vector<double>& blockValues = values(frame);
        for (const std::size_t index : strip.refreshes) BusAutomation::write(mixdown_, refreshes_[index], blockValues[index]);
        strip.ring.soundingAt(frame) = strip.graph->renderBlock(left + offset, right + offset, blockFrames) ? 1 : 0;
    }
    // The buffers the strip's voices have finished playing go here, off the render's own thread.
    strip.graph->drainCompletions();
}

void StripMixAhead::sum(std::int64_t chunk) noexcept
{
    // As the master bus would add the strips: the first that sounds is copied, the others added, in
    // the order of the strips.
    float* left = sum_.left(chunk);
    float* right = left + chunkFrames_;
    constexpr auto bytes = sizeof(float) * static_cast<std::size_t>(blockFrames);
    for (int block = 0; block < chunkBlocks_; ++block) {
        const std::int64_t offset = std::int64_t{block} * blockFrames;
        const std::int64_t frame = chunk * chunkFrames_ + offset;
        bool sounding = false;
        for (const auto& strip : strips_) {
            const AudioFeedNode::Block part = strip->ring.block(frame);
            if (part.left == nullptr) continue;
            if (!sounding) {
                std::memcpy(left + offset, part.left, bytes);
                std::memcpy(right + offset, part.right, bytes);
                sounding = true;
            } else {
                kernels::add(left + offset, part.left, blockFrames);
                kernels::add(right + offset, part.right, blockFrames);
            }
        }
        sum_.soundingAt(frame) = sounding ? 1 : 0;
    }
}

void StripMixAhead::post()
{
    // Evaluated block by block, in order, as the block loop would.
    if (buses_ != nullptr) {
        for (int block = 0; block < chunkBlocks_; ++block) {
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

bool StripMixAhead::sumReady() const noexcept
{
    if (summing_ || summed_ >= posted_) return false;
    for (const auto& strip : strips_) {
        if (strip->rendered <= summed_) return false;
    }
    return true;
}

bool StripMixAhead::claim(Job& job) noexcept
{
    if (sumReady()) {
        summing_ = true;
        job = Job{nullptr, summed_};
        return true;
    }
    Strip* behind = nullptr;
    for (const auto& strip : strips_) {
        if (strip->busy || strip->rendered >= posted_) continue;
        if (behind == nullptr || strip->rendered < behind->rendered) behind = strip.get();
    }
    if (behind == nullptr) return false;
    behind->busy = true;
    job = Job{behind, behind->rendered};
    return true;
}

void StripMixAhead::run(const Job& job) noexcept
{
    // The same arithmetic mode on every thread, so a strip sounds the same wherever it renders.
    DenormalGuard denormals;
    if (job.strip != nullptr) {
        render(*job.strip, job.chunk);
    } else {
        sum(job.chunk);
    }
}

void StripMixAhead::finish(const Job& job) noexcept
{
    if (job.strip != nullptr) {
        job.strip->busy = false;
        ++job.strip->rendered;
    } else {
        summing_ = false;
        ++summed_;
    }
}

void StripMixAhead::runClaimed(const Job& job, std::unique_lock<std::mutex>& lock)
{
    lock.unlock();
    run(job);
    lock.lock();
    finish(job);
}

bool StripMixAhead::ready()
{
    const std::lock_guard lock(mutex_);
    if (sumReady()) return true;
    for (const auto& strip : strips_) {
        if (!strip->busy && strip->rendered < posted_) return true;
    }
    return false;
}

void StripMixAhead::runOne()
{
    std::unique_lock lock(mutex_);
    Job job;
    if (!claim(job)) return;
    runClaimed(job, lock);
    lock.unlock();
    finished_.notify_all();
}

void StripMixAhead::waitFor(std::int64_t frame)
{
    if (strips_.empty()) return;
    const std::int64_t chunk = frame / chunkFrames_;
    std::unique_lock lock(mutex_);
    // Only posted chunks: the caller posts the chunk of `frame` first.
    while (summed_ <= chunk && summed_ < posted_) {
        Job job;
        if (claim(job)) {
            // Whatever waits brings the sum nearer, or is work some thread must do anyway.
            runClaimed(job, lock);
        } else {
            finished_.wait(lock);
        }
    }
}

} // namespace veltrane
