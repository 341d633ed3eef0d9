#pragma once

// 2^x on two or four doubles at once, without a library call: for the cutoffs of a modulated filter,
// which follow a logarithmic curve and are worked out several at a time, every few frames of every
// note. The exponent is split into a whole number and a remainder of at most one half; 2^remainder is a
// Taylor series of degree 13 (its first omitted term is below 5e-18) and the whole number goes straight
// into the exponent bits. Within two units in the last place of the library's `exp2`.
//
//     exp2Of(DoubleLanes{0.5, 10})     {1.4142135623730951, 1024}
//
// Pure, inline arithmetic.

#include "VeltraneCore/DSP/DoubleLanes.hpp"

#include <bit>
#include <type_traits>

namespace veltrane {

namespace detail {

// (ln 2)^n / n!, n = 0 ... 13.
inline constexpr double powerOfTwoSeries[14] = {
    1.0,
    0.6931471805599453,
    0.24022650695910072,
    0.05550410866482158,
    0.009618129107628477,
    0.0013333558146428443,
    0.0001540353039338161,
    1.5252733804059841e-05,
    1.321548679014431e-06,
    1.01780860092397e-07,
    7.054911620801123e-09,
    4.4455382718708116e-10,
    2.5678435993488206e-11,
    1.3691488853904128e-12,
};

using DoubleLaneBits = long long __attribute__((vector_size(16)));
using QuadLaneBits = long long __attribute__((vector_size(32)));

} // namespace detail

/// 2^x in each lane, for x from -1000 to 1000 (outside, the result means nothing).
template <Lanes V>
inline V exp2Of(const V& x)
{
    using Bits = std::conditional_t<std::is_same_v<V, DoubleLanes>, detail::DoubleLaneBits, detail::QuadLaneBits>;
    // Adding 1.5 × 2^52 rounds x to a whole number, which then sits in the low bits of the sum.
    constexpr double shift = 6755399441055744.0;
    const V shifted = x + shift;
    const V whole = shifted - shift;
    const V fraction = x - whole; // -1/2 ... 1/2, exact
    const auto& c = detail::powerOfTwoSeries;
    V p = V{} + c[13];
    for (int n = 12; n >= 0; --n) p = p * fraction + c[n];
    const Bits exponent = (std::bit_cast<Bits>(shifted) - std::bit_cast<Bits>(V{} + shift) + 1023) << 52;
    return p * std::bit_cast<V>(exponent);
}

} // namespace veltrane
