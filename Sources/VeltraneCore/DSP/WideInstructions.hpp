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

/// True where the processor runs the copies built with AVX2 and FMA; asked once.
inline bool processorRunsWide()
{
#ifdef VELTRANE_WIDE_INSTRUCTIONS
    static const bool runs = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return runs;
#else
    return false;
#endif
}

} // namespace veltrane
