#pragma once

// Outgoing MIDI messages stamped with the host time at which they should leave. A sender thread holds
// them until their time and hands each to the output then; a flush drops everything still waiting, so
// clocks queued ahead for a playback that stopped never go out.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <span>
#include <thread>
#include <vector>

namespace veltrane {

class MIDISendQueue {
public:
    /// Called on the sender thread with each message when its time comes.
    using Output = std::function<void(std::span<const std::uint8_t> bytes)>;

    explicit MIDISendQueue(Output output);
    /// Stops the sender; messages still waiting are dropped.
    ~MIDISendQueue();
    MIDISendQueue(const MIDISendQueue&) = delete;
    MIDISendQueue& operator=(const MIDISendQueue&) = delete;

    /// Queues `bytes` to go out at `hostTimeNanos` (CLOCK_MONOTONIC); a time already past, or 0, means
    /// now. Messages due at the same time go out in the order they were queued. Any thread but the
    /// real-time ones (it locks and allocates).
    void send(std::span<const std::uint8_t> bytes, std::uint64_t hostTimeNanos = 0);
    /// Drops every message not yet handed to the output. Any thread.
    void flush();
    /// Messages waiting.
    std::size_t waiting() const;

private:
    struct Message {
        std::uint64_t time;
        std::uint64_t order;
        std::vector<std::uint8_t> bytes;
    };
    struct Later {
        bool operator()(const Message& a, const Message& b) const
        {
            return a.time != b.time ? a.time > b.time : a.order > b.order;
        }
    };

    void run();

    Output output_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Message, std::vector<Message>, Later> queue_;
    std::uint64_t nextOrder_ = 0;
    bool stopping_ = false;
    std::thread sender_;
};

} // namespace veltrane
