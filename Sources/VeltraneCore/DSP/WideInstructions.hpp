#pragma once

// Hot loops built twice: for every x86-64 (SSE2, two doubles to a vector) and for processors with AVX2
// and FMA (four doubles to a vector, a multiply and an add fused into one rounding: the same results to
// within double rounding). A function marked `VELTRANE_WIDE` is compiled with the wider instructions and
// with every call it makes built into it, so the arithmetic written once for both widths (`Lanes`) runs
// with its own instructions throughout; the caller asks `processorRunsWide` which copy to run.
//
//     VELTRANE_WIDE void tuneWide(...) { tuneIn<QuadLanes>(...); }
//     if (processorRunsWide()) tuneWide(...); else tuneIn<DoubleLanes>(...);
//
// Elsewhere (another compiler or processor) only the first copy exists and `processorRunsWide` is false.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELTRANE_WIDE_INSTRUCTIONS 1
#define VELTRANE_WIDE                                                                                         \
    [[gnu::target("avx2,fma"), gnu::optimize("fp-contract=fast", "vect-cost-model=dynamic", "no-trapping-math"), \
      gnu::flatten]]
#endif

namespace veltrane {

namespace detail {
/// Set by tests (before any rendering starts) to run the copies built for every x86-64 on a processor
/// that could run the wider ones, so that both are held to the same results.
inline bool wideInstructionsRefused = false;
} // namespace detail

/// True where the processor runs the copies built with AVX2 and FMA (asked once) and tests have not
/// refused them.
inline bool processorRunsWide()
{
#ifdef VELTRANE_WIDE_INSTRUCTIONS
    static const bool runs = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return runs && !detail::wideInstructionsRefused;
#else
    return false;
#endif
}

/// Refuses the wider copies while it lives, for a test.
struct WideInstructionsRefusal {
    WideInstructionsRefusal() { detail::wideInstructionsRefused = true; }
    ~WideInstructionsRefusal() { detail::wideInstructionsRefused = false; }
    WideInstructionsRefusal(const WideInstructionsRefusal&) = delete;
    WideInstructionsRefusal& operator=(const WideInstructionsRefusal&) = delete;
};

} // namespace veltrane
