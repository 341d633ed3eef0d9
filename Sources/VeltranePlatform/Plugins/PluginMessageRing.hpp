#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace veltrane::detail {

/// A queue of variable-length messages between one writing thread and one reading thread, over a
/// buffer made once: neither side allocates, locks or waits. A message is its length (four bytes)
/// followed by its bytes; it is written whole or not at all.
class PluginMessageRing {
public:
    /// Room for `capacityBytes` bytes of messages and their lengths, rounded up to a power of two.
    explicit PluginMessageRing(std::size_t capacityBytes)
    {
        std::size_t size = 64;
        while (size < capacityBytes)
            size *= 2;
        bytes_.assign(size, 0);
        mask_ = size - 1;
    }
    PluginMessageRing(const PluginMessageRing&) = delete;
    PluginMessageRing& operator=(const PluginMessageRing&) = delete;

    /// The largest message `pop` can hand over.
    std::size_t capacity() const noexcept { return bytes_.size(); }

    /// Writer: appends a message; false when it does not fit now.
    bool push(std::uint32_t size, const void* data) noexcept
    {
        const std::size_t write = write_.load(std::memory_order_relaxed);
        const std::size_t read = read_.load(std::memory_order_acquire);
        if (bytes_.size() - (write - read) < sizeof(size) + std::size_t(size))
            return false;
        copyIn(write, &size, sizeof(size));
        if (size > 0)
            copyIn(write + sizeof(size), data, size);
        write_.store(write + sizeof(size) + size, std::memory_order_release);
        return true;
    }

    /// Reader: copies the oldest message into `out` (at least `capacity()` bytes) and removes it;
    /// false when the queue is empty.
    bool pop(std::uint32_t& size, void* out) noexcept
    {
        const std::size_t read = read_.load(std::memory_order_relaxed);
        const std::size_t write = write_.load(std::memory_order_acquire);
        if (write == read)
            return false;
        copyOut(read, &size, sizeof(size));
        copyOut(read + sizeof(size), out, size);
        read_.store(read + sizeof(size) + size, std::memory_order_release);
        return true;
    }

    bool empty() const noexcept
    {
        return write_.load(std::memory_order_acquire) == read_.load(std::memory_order_acquire);
    }

private:
    void copyIn(std::size_t at, const void* from, std::size_t count) noexcept
    {
        const std::size_t start = at & mask_;
        const std::size_t first = std::min(count, bytes_.size() - start);
        std::memcpy(bytes_.data() + start, from, first);
        std::memcpy(bytes_.data(), static_cast<const std::uint8_t*>(from) + first, count - first);
    }
    void copyOut(std::size_t at, void* to, std::size_t count) const noexcept
    {
        const std::size_t start = at & mask_;
        const std::size_t first = std::min(count, bytes_.size() - start);
        std::memcpy(to, bytes_.data() + start, first);
        std::memcpy(static_cast<std::uint8_t*>(to) + first, bytes_.data(), count - first);
    }

    std::vector<std::uint8_t> bytes_;
    std::size_t mask_ = 0;
    // Positions grow without wrapping (a 64-bit count of bytes never overflows in practice); the
    // difference is the number of bytes queued.
    std::atomic<std::size_t> write_{0};
    std::atomic<std::size_t> read_{0};
};

} // namespace veltrane::detail
