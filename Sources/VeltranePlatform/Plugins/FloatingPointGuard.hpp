#pragma once

#include <cfenv>

namespace veltrane::detail {

/// Puts the thread's floating-point environment (rounding, flush-to-zero, denormals-are-zero,
/// exception masks) back as it was when the guard was made. Plug-in code that runs while listing or
/// starting a plug-in may change it, and must not change how the rest of the program computes.
class FloatingPointGuard {
public:
    FloatingPointGuard() noexcept { saved_ = std::fegetenv(&environment_) == 0; }
    ~FloatingPointGuard()
    {
        if (saved_)
            std::fesetenv(&environment_);
    }
    FloatingPointGuard(const FloatingPointGuard&) = delete;
    FloatingPointGuard& operator=(const FloatingPointGuard&) = delete;

private:
    std::fenv_t environment_{};
    bool saved_ = false;
};

} // namespace veltrane::detail
