#pragma once

// Received MIDI events on their way from a MIDI service's receive thread, which may be a real-time one,
// to the main thread: a fixed ring of one writer and one reader that neither allocates nor locks. When
// the reader falls so far behind that the ring is full, newer events are dropped, not older ones.

#include "VeltraneCore/MIDIRealtime/MIDIStreamEvent.hpp"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace veltrane {

struct ReceivedMIDIEvent {
    MIDIStreamEvent event;
    std::uint64_t hostTimeNanos = 0;
};

template <std::size_t Capacity>
class MIDIEventRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "the capacity is a power of two");

public:
    /// Writer thread. False when the ring is full and the event was dropped.
    bool push(const ReceivedMIDIEvent& event) noexcept
    {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - head_.load(std::memory_order_acquire) >= Capacity) return false;
        slots_[tail & (Capacity - 1)] = event;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    /// Reader thread. The oldest event, or nothing when the ring is empty.
    std::optional<ReceivedMIDIEvent> pop() noexcept
    {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tail_.load(std::memory_order_acquire)) return std::nullopt;
        ReceivedMIDIEvent event = slots_[head & (Capacity - 1)];
        head_.store(head + 1, std::memory_order_release);
        return event;
    }

private:
    std::array<ReceivedMIDIEvent, Capacity> slots_{};
    alignas(64) std::atomic<std::size_t> head_{0};
    alignas(64) std::atomic<std::size_t> tail_{0};
};

} // namespace veltrane
