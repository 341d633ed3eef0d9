#pragma once

// An unbounded multi-producer, single-consumer queue of caller-owned nodes, linked through a pointer in
// each node. Pushing is one atomic exchange and never waits, so the audio thread may push; popping never
// blocks either, which makes it usable on the audio thread as the consumer too. Because the nodes are
// allocated and freed by their owner (the main thread), neither side allocates inside the queue.
//
// A pop can come back empty for a moment while a producer is between its two steps; the node then
// arrives with a later pop. Order between the messages of one producer is kept.

#include <atomic>

namespace veltrane {

struct IntrusiveQueueNode {
    std::atomic<IntrusiveQueueNode*> queueNext{nullptr};
};

class IntrusiveQueue {
public:
    IntrusiveQueue() : head_(&stub_), tail_(&stub_) {}
    IntrusiveQueue(const IntrusiveQueue&) = delete;
    IntrusiveQueue& operator=(const IntrusiveQueue&) = delete;

    /// Any thread. Wait-free.
    void push(IntrusiveQueueNode* node) noexcept
    {
        node->queueNext.store(nullptr, std::memory_order_relaxed);
        IntrusiveQueueNode* previous = head_.exchange(node, std::memory_order_acq_rel);
        previous->queueNext.store(node, std::memory_order_release);
    }

    /// One consumer thread at a time. Never blocks; nullptr when nothing can be taken now.
    IntrusiveQueueNode* pop() noexcept
    {
        IntrusiveQueueNode* tail = tail_;
        IntrusiveQueueNode* next = tail->queueNext.load(std::memory_order_acquire);
        if (tail == &stub_) {
            if (next == nullptr) return nullptr;
            tail_ = next;
            tail = next;
            next = next->queueNext.load(std::memory_order_acquire);
        }
        if (next != nullptr) {
            tail_ = next;
            return tail;
        }
        if (tail != head_.load(std::memory_order_acquire)) return nullptr; // a push is half done
        push(&stub_);
        next = tail->queueNext.load(std::memory_order_acquire);
        if (next != nullptr) {
            tail_ = next;
            return tail;
        }
        return nullptr;
    }

    /// Whether a node is waiting. Consumer thread; a node pushed meanwhile may be missed.
    bool empty() const noexcept
    {
        return tail_ == &stub_ && stub_.queueNext.load(std::memory_order_acquire) == nullptr;
    }

private:
    std::atomic<IntrusiveQueueNode*> head_;
    IntrusiveQueueNode* tail_;
    IntrusiveQueueNode stub_;
};

} // namespace veltrane
