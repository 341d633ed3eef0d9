#pragma once

// Decaying filter, delay and reverb tails turn into denormal floats, which cost the CPU many times more
// per operation; flush them to zero for as long as a render call runs, then restore the caller's mode.

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace veltrane {

class DenormalGuard {
public:
    DenormalGuard() noexcept
    {
#if defined(__SSE__) || defined(__x86_64__)
        saved_ = _mm_getcsr();
        _mm_setcsr(saved_ | 0x8040u); // flush to zero, denormals are zero
#elif defined(__aarch64__)
        unsigned long fpcr;
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
        saved_ = fpcr;
        fpcr |= (1ul << 24);
        __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#endif
    }
    ~DenormalGuard()
    {
#if defined(__SSE__) || defined(__x86_64__)
        _mm_setcsr(static_cast<unsigned int>(saved_));
#elif defined(__aarch64__)
        __asm__ __volatile__("msr fpcr, %0" : : "r"(saved_));
#endif
    }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned long saved_ = 0;
};

} // namespace veltrane
