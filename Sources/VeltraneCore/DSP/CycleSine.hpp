#pragma once

// Sine and floor for oscillators, without a library call. A phase counts cycles, so a sine of phase x is
// sin(2πx). The sine folds the phase onto a quarter cycle exactly (every subtraction there is exact)
// and sums a polynomial of degree 15, whose error is below 4e-16: the same values as the library's sine
// to within double rounding, at a fraction of its cost, and with no call in the way of a loop.
//
//     sineOfPhase(0.25)       1
//     sineOfCycles(3.75)      -1
//     floorOf(-0.5)           -1
//
// Pure, inline arithmetic.

#include "VeltraneCore/DSP/DoubleLanes.hpp"

#include <cmath>
#include <cstdint>

namespace veltrane {

/// The largest integer not above `x`, as `std::floor`. Doubles of magnitude 2^52 and above (and NaN,
/// infinities) have no fraction and come back unchanged.
inline double floorOf(double x)
{
    if (!(std::abs(x) < 4503599627370496.0)) return x;
    const double whole = static_cast<double>(static_cast<std::int64_t>(x));
    return whole > x ? whole - 1 : whole;
}

namespace detail {

// sin(2πz) ≈ z × p(z²) for |z| ≤ 1/4: the least-squares fit of degree 15 at 400 Chebyshev nodes, worked
// out in 50-digit arithmetic. Evaluated in doubles its error stays below 4e-16 over the quarter cycle.
inline constexpr double sineSeries[8] = {6.283185307179582,  -41.34170224039587, 81.60524927514697,
                                         -76.70585965593158, 42.05868861673488,  -15.094477837478161,
                                         3.8170613317275173, -0.6912002568935212};

} // namespace detail

/// sin(2πx) for a phase fraction `x` from 0 to 1.
inline double sineOfPhase(double x)
{
    const double y = x < 0.5 ? x : x - 1;                                // -1/2 ... 1/2, exact
    const double z = y > 0.25 ? 0.5 - y : y < -0.25 ? -0.5 - y : y;      // -1/4 ... 1/4, exact
    const double z2 = z * z;
    const auto& c = detail::sineSeries;
    double p = c[7];
    p = p * z2 + c[6];
    p = p * z2 + c[5];
    p = p * z2 + c[4];
    p = p * z2 + c[3];
    p = p * z2 + c[2];
    p = p * z2 + c[1];
    p = p * z2 + c[0];
    return p * z;
}

/// `floorOf` on two or four numbers at once, for phases below 2^51 cycles (beyond, a number comes back
/// as it is): adding and taking away 1.5 × 2^52 rounds to the nearest whole number, and one step down
/// where that lies above gives the floor, exactly, with no conversion to integers.
template <Lanes V>
inline V floorOf(const V& x)
{
    constexpr double shift = 6755399441055744.0;
    const V nearest = (x + shift) - shift;
    const V below = nearest > x ? nearest - 1 : nearest;
    const V magnitude = x < 0 ? -x : x;
    return magnitude < 2251799813685248.0 ? below : x;
}

namespace detail {

// sin(2πy) for y from -1/2 to 1/2: folded onto a quarter cycle (exactly), then the series.
template <Lanes V>
inline V sineOfHalfCycle(const V& y)
{
    const V z = y > 0.25 ? 0.5 - y : y < -0.25 ? -0.5 - y : y;
    const V z2 = z * z;
    const auto& c = sineSeries;
    V p = V{} + c[7];
    p = p * z2 + c[6];
    p = p * z2 + c[5];
    p = p * z2 + c[4];
    p = p * z2 + c[3];
    p = p * z2 + c[2];
    p = p * z2 + c[1];
    p = p * z2 + c[0];
    return p * z;
}

} // namespace detail

/// `sineOfPhase` on two or four phase fractions at once, with the same arithmetic in each lane.
template <Lanes V>
inline V sineOfPhase(const V& x)
{
    return detail::sineOfHalfCycle(x < 0.5 ? x : x - 1);
}

/// `sineOfPhase(x - floorOf(x))` on two or four phases below 2^51 cycles, with fewer steps: the phase
/// less its nearest whole number (exact, by the 1.5 × 2^52 rounding trick) is the half cycle that
/// `sineOfPhase` folds its fraction onto. From 0 up each value is the very same (at a fraction of
/// exactly one half the two give +1/2 and -1/2, and either folds to 0); below 0 the fraction's own
/// subtraction rounds and this does not, so the two agree to within double rounding.
template <Lanes V>
inline V sineOfCycles(const V& x)
{
    constexpr double shift = 6755399441055744.0;
    return detail::sineOfHalfCycle(x - ((x + shift) - shift));
}

/// sin(2πx) for any number of cycles `x`.
inline double sineOfCycles(double x) { return sineOfPhase(x - floorOf(x)); }

} // namespace veltrane
