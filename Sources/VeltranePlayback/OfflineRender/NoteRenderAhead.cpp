#include "VeltranePlayback/OfflineRender/NoteRenderAhead.hpp"

#include "VeltranePlatform/Audio/DenormalGuard.hpp"

#include <utility>

namespace veltrane {

namespace {

std::int64_t bufferBytes(const AudioBufferRef& buffer)
{
    return buffer ? buffer->frameCapacity() * AudioBuffer::channelCount * std::int64_t{sizeof(float)} : 0;
}

} // namespace

NoteRenderAhead::NoteRenderAhead(std::size_t count, Render render, std::int64_t budgetBytes)
    : render_(std::move(render)), budgetBytes_(budgetBytes), slots_(count)
{
}

void NoteRenderAhead::start(int workers)
{
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

void NoteRenderAhead::wake()
{
    // Taking the lock orders this after any worker's look at the side work, so none sleeps through it.
    { const std::lock_guard lock(mutex_); }
    claimable_.notify_all();
}

NoteRenderAhead::~NoteRenderAhead()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    claimable_.notify_all();
    for (auto& worker : workers_) worker.join();
}

void NoteRenderAhead::renderClaimed(std::size_t index, std::unique_lock<std::mutex>& lock)
{
    slots_[index].state = State::rendering;
    lock.unlock();
    AudioBufferRef buffer;
    std::exception_ptr error;
    try {
        buffer = render_(index);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    pendingBytes_ += bufferBytes(buffer);
    slots_[index] = Slot{std::move(buffer), std::move(error), State::done};
}

void NoteRenderAhead::work()
{
    // The same arithmetic mode as the render's own thread, so a note sounds the same wherever it renders.
    DenormalGuard denormals;
    std::unique_lock lock(mutex_);
    const auto noteClaimable = [this] { return nextClaim_ < slots_.size() && pendingBytes_ < budgetBytes_; };
    for (;;) {
        claimable_.wait(lock, [&] { return stopping_ || sideReady() || noteClaimable(); });
        if (stopping_) return;
        // Side work comes first: the render's thread needs it before any note still to be taken.
        if (sideReady()) {
            lock.unlock();
            side_.run();
            lock.lock();
            continue;
        }
        // Another worker may have taken the side work seen ready a moment ago.
        if (!noteClaimable()) continue;
        const std::size_t index = nextClaim_++;
        renderClaimed(index, lock);
        finished_.notify_all();
    }
}

AudioBufferRef NoteRenderAhead::take(std::size_t index)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        Slot& slot = slots_[index];
        if (slot.state == State::done) break;
        if (slot.state == State::waiting && nextClaim_ <= index) {
            // No worker has reached this note (or there are none): notes before it that nobody took are
            // passed over, as they were never asked for.
            nextClaim_ = index + 1;
            renderClaimed(index, lock);
            break;
        }
        // A worker is rendering it: rather than sit idle, this thread does what a worker would next.
        if (sideReady()) {
            lock.unlock();
            side_.run();
            lock.lock();
        } else if (nextClaim_ < slots_.size() && pendingBytes_ < budgetBytes_) {
            renderClaimed(nextClaim_++, lock);
        } else {
            finished_.wait(lock);
        }
    }
    Slot taken = std::move(slots_[index]);
    slots_[index] = Slot{nullptr, nullptr, State::done};
    // Workers sleep only while the budget is full (or every note is claimed): waking them after every
    // note would cost this thread a system call per note and the workers a stampede for one slot.
    const bool wasFull = pendingBytes_ >= budgetBytes_;
    pendingBytes_ -= bufferBytes(taken.buffer);
    const bool roomMade = wasFull && pendingBytes_ < budgetBytes_;
    lock.unlock();
    if (roomMade) claimable_.notify_all();
    if (taken.error) std::rethrow_exception(taken.error);
    return std::move(taken.buffer);
}

} // namespace veltrane
