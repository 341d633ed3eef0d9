#pragma once

// A node parameter that the main thread writes and the audio thread reads: one atomic, no lock. Values
// are clamped to the parameter's range; a NaN is ignored and keeps the value that was there, so a bad
// number from a document or an automation lane can never reach the DSP.

#include <algorithm>
#include <atomic>
#include <cmath>

namespace veltrane {

template <typename Value>
class AudioParameter {
public:
    AudioParameter(Value initial, Value minimum, Value maximum)
        : value_(std::clamp(initial, minimum, maximum)), minimum_(minimum), maximum_(maximum)
    {
    }

    /// Any thread.
    void set(Value value) noexcept
    {
        if (std::isnan(value)) return;
        value_.store(std::clamp(value, minimum_, maximum_), std::memory_order_relaxed);
    }
    /// Any thread.
    Value get() const noexcept { return value_.load(std::memory_order_relaxed); }
    Value minimum() const noexcept { return minimum_; }
    Value maximum() const noexcept { return maximum_; }

private:
    std::atomic<Value> value_;
    Value minimum_;
    Value maximum_;
};

} // namespace veltrane
