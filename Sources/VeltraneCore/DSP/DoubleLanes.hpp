#pragma once

// Doubles worked on by one vector instruction each: `DoubleLanes` holds two (the left and right
// channel of a frame, or two frames of one signal), `QuadLanes` four frames of one signal. GCC and Clang
// vector types: two lanes compile to SSE2 on any x86-64 (and to NEON on ARM); four lanes to one AVX
// register in code built for AVX, else to two SSE2 halves. Arithmetic and comparisons work lane by
// lane, with the very rounding of scalar code.

#include <concepts>
#include <cstring>

// GCC notes that a function taking or returning four lanes passes them differently with and without AVX.
// These functions are inline arithmetic built into the loop that uses them, never called across code
// built for different instructions, so the note says nothing about this project.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace veltrane {

using DoubleLanes = double __attribute__((vector_size(16)));
using QuadLanes = double __attribute__((vector_size(32)));

/// Either vector of doubles, for arithmetic written once for both widths.
template <class T>
concept Lanes = std::same_as<T, DoubleLanes> || std::same_as<T, QuadLanes>;

/// Four consecutive doubles from `from`, which needs no particular alignment.
inline QuadLanes loadQuad(const double* from)
{
    QuadLanes lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

inline void storeQuad(double* to, const QuadLanes& lanes) { std::memcpy(to, &lanes, sizeof lanes); }

} // namespace veltrane
