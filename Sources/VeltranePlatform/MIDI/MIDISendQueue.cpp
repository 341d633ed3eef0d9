#include "VeltranePlatform/MIDI/MIDISendQueue.hpp"

#include "VeltranePlatform/MIDI/HostTime.hpp"

#include <chrono>

namespace veltrane {

MIDISendQueue::MIDISendQueue(Output output) : output_(std::move(output)), sender_([this] { run(); })
{
}

MIDISendQueue::~MIDISendQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    sender_.join();
}

void MIDISendQueue::send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos)
{
    if (bytes.empty()) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push({hostTimeNanos, nextOrder_++, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
    }
    wake_.notify_all();
}

void MIDISendQueue::flush()
{
    std::lock_guard lock(mutex_);
    queue_ = {};
}

std::size_t MIDISendQueue::waiting() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void MIDISendQueue::run()
{
    // std::chrono::steady_clock is CLOCK_MONOTONIC on Linux, and libstdc++ waits on it with
    // pthread_cond_clockwait, so a message wakes the sender on the host clock it is stamped with.
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const std::uint64_t due = queue_.top().time;
        const std::uint64_t now = hostTimeNanos();
        if (due > now) {
            wake_.wait_for(lock, std::chrono::nanoseconds(due - now));
            continue; // an earlier message or a flush may have come meanwhile
        }
        Message message = queue_.top();
        queue_.pop();
        lock.unlock();
        output_(message.bytes);
        lock.lock();
    }
}

} // namespace veltrane
