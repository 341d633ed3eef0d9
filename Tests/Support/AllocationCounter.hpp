#pragma once

#include <cstdint>

namespace veltrane::testing {

/// Counts heap allocations made by the calling thread while the object lives. Real-time code is
/// wrapped in one to prove it never allocates. The global operator new of this test program
/// (AllocationCounter.cpp) does the counting; include this header rather than replacing it again.
class AllocationCounter {
public:
    AllocationCounter() noexcept;
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    /// Allocations on this thread since construction.
    std::int64_t count() const noexcept;

private:
    std::int64_t start_;
    bool wasCounting_;
};

} // namespace veltrane::testing
